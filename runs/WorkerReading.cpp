// The workers' attachments: opened, registered for cancelling, and let go in that order back.
#include "WorkerReading.h"

#include "data/TDM.h"

ReadingPlace readingPlaceOf(TDM& dm)
{
    return {dm.ibDatabase.databaseName(), dm.ibDatabase.params(), dm.ibTranRO.params()};
}

WorkerReading::WorkerReading(CancelSlot& slot, const ReadingPlace& place) : m_slot(slot)
{
    database.setDatabaseName(place.database);
    database.params() = place.params;
    database.open();
    {
        std::lock_guard lock(m_slot.m_mutex);
        m_slot.m_database = &database;
    }
    try {
        transaction.params() = place.transactionParams;
        transaction.start();
    } catch (...) {
        unregister();
        throw;
    }
}

WorkerReading::~WorkerReading()
{
    unregister(); // then the transaction rolls back and the attachment goes
}

void WorkerReading::unregister()
{
    std::lock_guard lock(m_slot.m_mutex);
    m_slot.m_database = nullptr;
}

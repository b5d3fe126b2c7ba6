// The workers' attachments: opened, registered for cancelling, and let go in that order back.
#include "WorkerReading.h"

WorkerReading::WorkerReading(CancelSlot& slot, const QString& name, const QStringList& params,
                             const QStringList& transactionParams)
    : m_slot(slot)
{
    database.setDatabaseName(name);
    database.params() = params;
    database.open();
    {
        std::lock_guard lock(m_slot.m_mutex);
        m_slot.m_database = &database;
    }
    try {
        transaction.params() = transactionParams;
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

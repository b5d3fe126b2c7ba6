#include "TSimpleBox.h"

#include "data/Statements.h"
#include "data/TDM.h"

#include <QComboBox>

TSimpleBox::TSimpleBox(TDM& dm, quint8 kind, QComboBox* box, bool withFirstItem)
    : m_query(dm.ibDatabase, dm.ibTranRO), m_box(box), m_withFirstItem(withFirstItem)
{
    if (kind == 1)
        stmt::deptChoices().applyTo(m_query);
}

void TSimpleBox::FillBox(int key)
{
    Selected = 0;
    bool found = false;
    m_query.close();
    m_query.open();
    if (m_withFirstItem)
        m_box->addItem(FirstText);
    const db::Field& id = m_query.field(QStringLiteral("KeyID"));
    const db::Field& name = m_query.field(QStringLiteral("Name"));
    int row = 0;
    for (m_query.first(); !m_query.eof(); m_query.next(), ++row) {
        if (key > 0 && id.asInteger() == key) {
            Selected = row;
            found = true;
        }
        m_box->addItem(name.asString());
    }
    if (m_withFirstItem && found)
        ++Selected;
    m_box->setCurrentIndex(Selected);
}

int TSimpleBox::KeyAt(int index)
{
    if (m_withFirstItem && index == 0)
        return 0;
    if (m_withFirstItem)
        --index;
    if (!m_query.isOpen() || m_query.recordCount() == 0)
        return 0;
    m_query.first();
    m_query.moveBy(std::max(0, index));
    return m_query.field(QStringLiteral("KeyID")).asInteger();
}

#include "DataSource.h"

DataSource::DataSource(QObject *parent) : QObject(parent) {}

DataSource::~DataSource()
{
    if (m_table)
        m_table->removeSource(this);
}

void DataSource::setDataSet(Table *table)
{
    if (m_table == table)
        return;
    if (m_table) {
        m_table->removeSource(this);
        disconnect(m_table, nullptr, this, nullptr);
    }
    m_table = table;
    if (table) {
        table->addSource(this);
        connect(table, &Table::stateChanged, this, &DataSource::stateChanged);
        connect(table, &Table::recordChanged, this, &DataSource::recordChanged);
        connect(table, &Table::dataSetChanged, this, &DataSource::dataSetChanged);
        connect(table, &Table::fieldChanged, this, &DataSource::fieldChanged);
    }
    emit dataSetChanged();
    emit recordChanged();
}

Table::State DataSource::state() const
{
    return m_table ? m_table->state() : Table::State::Inactive;
}

bool DataSource::isEditing() const
{
    return m_table && m_table->isEditing();
}

void DataSource::addDataWriter(QObject *control, std::function<void()> writer)
{
    removeDataWriter(control);
    m_writers.append(Writer{control, std::move(writer)});
}

void DataSource::removeDataWriter(QObject *control)
{
    m_writers.removeIf([control](const Writer &w) { return !w.control || w.control == control; });
}

void DataSource::updateData()
{
    m_writers.removeIf([](const Writer &w) { return !w.control; });
    // A writer may add or remove writers; run the ones registered now.
    const QList<Writer> writers = m_writers;
    for (const Writer &w : writers)
        if (w.control)
            w.fn();
}

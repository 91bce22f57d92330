#pragma once
#include "db/TableCursor.h"

#include <QString>
#include <QVariant>

// A row being appended to a table. A row left unposted by a failure is
// cancelled when this goes out of scope, so that the next append to the same
// table does not inherit its values.
class LigneAjoutee {
public:
    explicit LigneAjoutee(db::TableCursor &table) : m_table(table) { m_table.append(); }
    ~LigneAjoutee()
    {
        if (m_table.editing())
            m_table.cancel();
    }
    LigneAjoutee(const LigneAjoutee &) = delete;
    LigneAjoutee &operator=(const LigneAjoutee &) = delete;

    LigneAjoutee &valeur(const QString &champ, const QVariant &v)
    {
        m_table.setFieldValue(champ, v);
        return *this;
    }
    void poster() { m_table.post(); }

private:
    db::TableCursor &m_table;
};

#pragma once
#include "checks/Journal.h"
#include "db/Query.h"

#include <QString>

// Logged corrections (a single-row UPDATE or DELETE whose failure becomes a
// journal row) and the identifier counters of ID_VALUES.
class Compteurs {
public:
    // nomBase: the connection's name, known only once start-up has run.
    Compteurs(const QString &nomBase, db::Query &qryAction, Journal &journal)
        : m_nomBase(nomBase), m_qryAction(qryAction), m_journal(journal) {}

    bool ActionSurTable(const QString &action, const QString &table, const QString &champ, const QString &champID,
                        qint64 valeur, qint64 valeurID);
    // Throws db::DbError: a counter that cannot be set is not the caller's to hide.
    void AjusterIDValues(const QString &cle, qint64 valeur, bool forcer);

private:
    const QString &m_nomBase;
    db::Query &m_qryAction;
    Journal &m_journal;
};

#pragma once
#include "app/Common.h"
#include "app/Session.h"
#include "checks/CheckRun.h"
#include "db/Query.h"

// A phase's walk over its selection with the progress bar: the bar restarts
// for the selection's row count, then moves before each row and shows the
// walk's label followed by "position/total)".
//
//     Parcours p(s, s.Qry1, titre, false, QStringLiteral("Création des transferts inconnus ("));
//     while (p.suivant()) { ... }
class Parcours {
public:
    // reactiver: whether closing the previous progress display enables the
    // main window again.
    Parcours(Session &s, db::Query &q, const QString &titre, bool reactiver, QString libelle)
        : m_s(s), m_q(q), m_libelle(std::move(libelle)), m_total(q.recordCount())
    {
        m_s.ArreterProgression(reactiver);
        m_s.DemarrerProgression(titre, m_total, 1, 0, true);
    }

    // Stands on the next row (the first at the first call) and shows it;
    // false once past the last.
    bool suivant()
    {
        if (m_position == 0)
            m_q.first();
        else
            m_q.next();
        if (m_q.eof())
            return false;
        ++m_position;
        m_s.UpdateProgression(CheckRun::compteur(m_libelle, m_position, m_total), m_total, m_position);
        return true;
    }

    int position() const { return m_position; }
    int total() const { return m_total; }

private:
    Session &m_s;
    db::Query &m_q;
    QString m_libelle;
    int m_total;
    int m_position = 0;
};

// A walk whose findings are summed up once it ends: when the user stops the
// run in the middle of it, what it did so far is still summed up.
template <class Walk, class Summary>
void parcourirPuisResumer(Walk &&walk, Summary &&summary)
{
    try {
        walk();
    } catch (const common::Interruption &) {
        summary();
        throw;
    }
    summary();
}

#pragma once
#include "db/Query.h"

#include <QString>

class Session;

// An insurance body as the user completed it, each field's text as it is
// stored.
struct SaisieCaisse {
    QString code, nom, adresse, cp, ville, telephone, fax, taux, commentaires;
};

// Creates the insurance body that the case lacks: its CPORG row, its copy in
// the work table (so that later checks of the run find it) and the journal
// row. The case is QryCPMain as the unknown-body phase leaves it: positioned
// on the row whose first column is the number, its tag telling whether the
// body is a principal one (1, 3) or not (2, 4).
class CreationCaisse {
public:
    explicit CreationCaisse(Session &session);

    // True when the body was created. A failure is journalled for the body
    // to be created by hand, and the run goes on: false.
    bool CreerCaisse(const SaisieCaisse &saisie);

private:
    Session &s;
    db::Query Query1{QStringLiteral("Query1")};
};

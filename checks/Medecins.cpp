#include "app/Session.h"
#include "checks/CheckRun.h"

// PLACEHOLDER: being written; replace the whole file.
void CheckRun::CreerMedecinsAbsents() {}
void CheckRun::SupprimerRecettesMedecinsInconnus() {}
QString CheckRun::DecrireRecette(bool) { return QString(); }

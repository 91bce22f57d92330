#include "app/Session.h"
#include "checks/CheckRun.h"

// PLACEHOLDER: being written; replace the whole file.
void CheckRun::SupprimerEnregistrementsVides() {}
void CheckRun::SupprimerRelevesVides() {}
void CheckRun::SupprimerVentilationsOrphelines() {}
void CheckRun::AnnulerFSEInconnues() {}

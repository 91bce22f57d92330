#pragma once
#include <QString>

class Session;

// Keeps the report of the journal as a PDF file at chemin: the document the
// printer receives from TFPrint, on A4 paper, with no dialog, progress window
// or message. The file appears whole or not at all: it is written under a
// name of its own in the same directory, then renamed over chemin (which it
// replaces). False when it could not be written, with the reason in French in
// *erreur; nothing is then left in the directory. The journal is only read:
// its table stays open, on its index and its row.
bool enregistrerRapportPdf(Session &s, const QString &chemin, QString *erreur = nullptr);

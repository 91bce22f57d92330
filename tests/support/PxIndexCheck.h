#pragma once
#include <QString>
#include <QStringList>

// Checks the secondary indexes of a directory's Paradox tables with pxlib
// and the published layout alone, never with the engine that wrote them:
// each .X file is opened by pxlib as a table; its records must be exactly
// the table's records (indexed fields, key, number of the block holding the
// record), in the order of their fields (text by a French dictionary order,
// without regard to case for a .XGn on one field, other fields by their
// stored bytes); its .Y must lead, from its root down, to every block of
// the .X in order, each entry with the block's first key and record count.
// Empty when all hold; otherwise what is wrong, file by file.
QString checkSecondaryIndexes(const QString &directory);

// The .X files of the directory, for the tests that want some.
QStringList secondaryDataFiles(const QString &directory);

// The records of a Paradox table as pxlib reads them, each as the hex of
// its bytes, sorted: two tables hold the same rows when these are equal,
// wherever the rows stand in the file. The part of a memo field that says
// where its text is kept in the .MB (which a row put back may change) is
// left out; its length and the text kept in the record stay. Empty with an
// error line when pxlib cannot read the file.
QStringList pxlibRecords(const QString &dbFile);

#pragma once
#include "db/paradox/PxCodePage.h"
#include "db/paradox/PxFormat.h"

#include <QByteArray>
#include <QCollator>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace db::paradox {

// The order the desktop engine keeps keyed records in: numbers by value,
// text by the table's sort order ("ascii" by code, the others as a
// dictionary, letter case breaking ties), blanks first.
class KeyOrder {
public:
    struct Part {
        bool blank = true;
        double number = 0;
        std::optional<QCollatorSortKey> text;
        QByteArray bytes;
    };
    using Key = std::vector<Part>;

    KeyOrder(const QByteArray &sortOrderName, const CodePage *page);
    // The first count fields of a record; a field marked in caseless (by
    // position) compares its text without regard to letter case, ties
    // included.
    Key key(const std::vector<FieldInfo> &fields, int count, const char *raw, const std::vector<bool> &caseless = {});
    static bool less(const Key &a, const Key &b);
    // An alpha field's text without letter case.
    QString fold(const QByteArray &alpha) const;

private:
    bool m_binary;
    const CodePage *m_page;
    std::unique_ptr<QCollator> m_collator;
};

// The secondary index files beside a table (.Xnn and .Ynn, .XGn and .YGn),
// in any letter case, ordered by their extension; with the names an
// interrupted replacement may have left them under.
QStringList secondaryIndexFiles(const QString &dbFile);

// One secondary index of a keyed table: its records hold the indexed
// fields, then the table's key, then "Hint", the number of the table's block
// that holds the record; they are kept in the order of every field but the
// hint. Its .Y file is a primary index over the .X file.
struct SecondaryIndex {
    QString xPath;
    QString yPath;
    Header x;
    QByteArray xHeader;   // the header block as on disk
    QByteArray yHeader;
    std::vector<int> columns;   // the table's fields it sorts on, in order
    bool caseless = false;
    // Its records do not tell whether it ignores letter case: it is kept
    // case-sensitive, and a change that would make the two orders differ
    // (two values alike but for case) is refused.
    bool caseUnknown = false;
    bool composite() const { return columns.size() > 1; }
};

// Reads a table's secondary indexes. Throws db::DbError naming the table
// and the file for an index this engine cannot keep up to date, so that the
// table is not written at all.
std::vector<SecondaryIndex> readSecondaryIndexes(const QString &dbFile, const Header &db, const CodePage &page,
                                                 const QString &table);

// Appends the index record of one table record in a block.
void appendSecondaryRecord(QByteArray &records, const SecondaryIndex &index, const Header &db, const char *raw, int block);

// The whole .X and .Y of an index over these records (end to end, in table
// order): sorted, packed into full blocks chained in order, headers as read
// with their counts set. Throws db::DbError past the format's limits.
std::pair<QByteArray, QByteArray> buildSecondaryIndex(const SecondaryIndex &index, const QByteArray &records,
                                                      KeyOrder &order, const QString &table);

// Writes the files of a new, empty secondary index on these columns of a
// keyed table (for the demonstration practice and the tests): maintained,
// single-field case-sensitive ones as .Xnn/.Ynn (nn the field's number in
// hexadecimal), the others as .XGn/.YGn with the first free n.
// Returns the .X file's path; its records are written by the table's next
// change or by Table::rebuildSecondaryIndexes().
QString createSecondaryIndexFiles(const QString &dbFile, const Header &db, const std::vector<int> &columns,
                                  bool caseless, const QByteArray &label, const QString &table);

} // namespace db::paradox

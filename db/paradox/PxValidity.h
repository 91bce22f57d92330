#pragma once
#include "db/paradox/PxCodePage.h"
#include "db/paradox/PxFormat.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace db::paradox {

// The validity checks a table's .VAL file sets on one field. Values are the
// field's bytes as a record holds them.
struct FieldRule {
    int column = -1;   // from 0
    std::optional<QByteArray> minimum, maximum, defaultValue;
};

struct ValidityRules {
    QString file;      // the .VAL's name, for messages
    int changeCount = 0;
    int version = 0;
    std::vector<FieldRule> rules;
};

// Layout of the .VAL (file versions 9 to 11), as far as it is publicly known.
namespace val {
constexpr int ChangeCount = 0x00;
constexpr int Version = 0x01;
constexpr int Count = 0x02;
constexpr int FooterPos = 0x09;
constexpr int IntegrityPos = 0x0D;
constexpr int Body = 0x35;
// In each entry of the body.
constexpr int Field = 0x00;
constexpr int PictureSize = 0x01;
constexpr int DependencyOrder = 0x02;
constexpr int IntegrityStatus = 0x03;
constexpr int Lookup = 0x04;
constexpr int Minimum = 0x0C;
constexpr int Maximum = 0x10;
constexpr int Default = 0x14;
constexpr int Picture = 0x18;
constexpr int Values = 0x1D;
// The footer's table name.
constexpr int TableName = 0x4F;
} // namespace val

// nullopt when the table has no .VAL beside it (any letter case). Throws
// db::DbError, in French and naming the table, when the file holds a rule
// this engine cannot read or enforce: the table must then not be written.
std::optional<ValidityRules> readValidity(const QString &dbFile, const Header &db, const CodePage &page,
                                          const QString &table);
// The same from the file's bytes.
ValidityRules parseValidity(const QByteArray &bytes, const QString &fileName, const Header &db, const CodePage &page,
                            const QString &table);

// Throws db::DbError naming table, field, value and bound when the record
// breaks a rule; only the given columns are checked when a list is given.
void checkRecord(const ValidityRules &rules, const std::vector<FieldInfo> &fields, const char *record,
                 const CodePage &page, const QString &table, const std::vector<int> *columns = nullptr);

// Fills the blank fields of a new record with their defaults.
void applyDefaults(const ValidityRules &rules, const std::vector<FieldInfo> &fields, char *record);

// A .VAL holding these rules (minimum, maximum, default alone), for the
// tests and the demonstration practice.
QByteArray buildValidityFile(const Header &db, const QByteArray &tableName, const std::vector<FieldRule> &rules,
                             int changeCount = 0);

} // namespace db::paradox

#include "PxIndexCheck.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
extern "C" {
#include <paradox.h>
}
#include <vector>

namespace {

struct PxTableRead {
    QString error;
    std::vector<QByteArray> records;
    std::vector<int> blocks;   // the block of each record
    std::vector<pxfield_t> fields;   // their names freed with the document
    QList<QByteArray> names;
    int keyFields = 0;
    int indexField = 0;
    int headerSize = 0;
    int blockSize = 0;
};

PxTableRead readWithPxlib(const QString &file)
{
    PxTableRead out;
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(file).constData()) < 0) {
        out.error = QStringLiteral("pxlib n'ouvre pas %1").arg(QFileInfo(file).fileName());
        PX_delete(doc);
        return out;
    }
    pxhead_t *h = doc->px_head;
    for (int i = 0; i < h->px_numfields; ++i) {
        out.fields.push_back(h->px_fields[i]);
        out.names << QByteArray(h->px_fields[i].px_fname);
        out.fields.back().px_fname = nullptr;
    }
    out.keyFields = h->px_primarykeyfields;
    out.indexField = h->px_indexfieldnumber;
    out.headerSize = h->px_headersize;
    out.blockSize = h->px_maxtablesize * 1024;
    const int n = PX_get_num_records(doc);
    for (int r = 0; r < n; ++r) {
        QByteArray data(h->px_recordsize, '\0');
        int deleted = 0;
        pxdatablockinfo_t info{};
        if (!PX_get_record2(doc, r, data.data(), &deleted, &info)) {
            out.error = QStringLiteral("pxlib ne lit pas l'enregistrement %1 de %2").arg(r).arg(QFileInfo(file).fileName());
            break;
        }
        out.records.push_back(data);
        out.blocks.push_back(int((info.blockpos - out.headerSize) / out.blockSize) + 1);
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

int offsetOf(const std::vector<pxfield_t> &fields, int i)
{
    int o = 0;
    for (int k = 0; k < i; ++k)
        o += fields[size_t(k)].px_flen;
    return o;
}

quint16 le16(const char *p) { return quint16(quint8(p[0]) | (quint8(p[1]) << 8)); }
int word(const char *p) { return ((quint8(p[0]) ^ 0x80) << 8) | quint8(p[1]); }

// The .Y from its root: the level-one entries, in order, as (block, count, key).
struct Entry {
    int block;
    int count;
    QByteArray key;
};
QString walkY(const QByteArray &y, int keySize, std::vector<Entry> *level1)
{
    if (y.size() < 0x58)
        return QStringLiteral("en-tête tronqué");
    const int recordSize = le16(y.constData());
    const int headerSize = le16(y.constData() + 2);
    const int blockSize = quint8(y[5]) * 1024;
    const int root = le16(y.constData() + 0x1E);
    const int levels = quint8(y[0x20]);
    if (recordSize != keySize + 6)
        return QStringLiteral("enregistrements de %1 octets pour une clé de %2").arg(recordSize).arg(keySize);
    if (le16(y.constData() + 6) == 0 && quint32(le16(y.constData() + 8)) == 0)
        return QString();   // no entries: an empty index
    QString problem;
    std::function<int(int, int)> walk = [&](int block, int level) -> int {
        const qint64 at = headerSize + qint64(block - 1) * blockSize;
        if (block < 1 || at + blockSize > y.size()) {
            problem = QStringLiteral("bloc %1 hors du fichier").arg(block);
            return 0;
        }
        const char *b = y.constData() + at;
        const int n = qint16(le16(b + 4)) / recordSize + 1;
        int sum = 0;
        for (int j = 0; j < n && problem.isEmpty(); ++j) {
            const char *r = b + 6 + j * recordSize;
            const int target = word(r + keySize);
            const int count = word(r + keySize + 2);
            if (level == 1) {
                level1->push_back(Entry{target, count, QByteArray(r, keySize)});
                sum += count;
            } else {
                const size_t before = level1->size();
                const int under = walk(target, level - 1);
                if (level1->size() > before && (*level1)[before].key != QByteArray(r, keySize))
                    problem = QStringLiteral("une entrée de niveau %1 ne porte pas la première clé de son bloc").arg(level);
                if ((under & 0xffff) != count)
                    problem = QStringLiteral("une entrée de niveau %1 annonce %2 enregistrements pour %3").arg(level).arg(count).arg(under);
                sum += under;
            }
        }
        return sum;
    };
    walk(root, levels);
    return problem;
}

} // namespace

QStringList secondaryDataFiles(const QString &directory)
{
    static const QRegularExpression x(QStringLiteral("\\.X([0-9A-F]{2}|G[0-9A-F])$"), QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const QString &f : QDir(directory).entryList(QDir::Files, QDir::Name))
        if (x.match(f).hasMatch())
            out << QDir(directory).filePath(f);
    return out;
}

QString checkSecondaryIndexes(const QString &directory)
{
    QStringList problems;
    QCollator collator(QLocale(QLocale::French, QLocale::France));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QStringDecoder cp1252("windows-1252");
    for (const QString &xFile : secondaryDataFiles(directory)) {
        const QFileInfo xi(xFile);
        const QString name = xi.fileName();
        auto complain = [&](const QString &what) { problems << name + QStringLiteral(" : ") + what; };
        QString dbFile;
        for (const QString &f : QDir(directory).entryList(QDir::Files))
            if (QFileInfo(f).completeBaseName().compare(xi.completeBaseName(), Qt::CaseInsensitive) == 0
                && QFileInfo(f).suffix().compare(QLatin1String("DB"), Qt::CaseInsensitive) == 0)
                dbFile = QDir(directory).filePath(f);
        const PxTableRead db = readWithPxlib(dbFile);
        const PxTableRead ix = readWithPxlib(xFile);
        if (!db.error.isEmpty() || !ix.error.isEmpty()) {
            complain(db.error + ix.error);
            continue;
        }
        const bool grouped = xi.suffix().toUpper().startsWith(QLatin1String("XG"));
        const int indexed = ix.keyFields - db.keyFields;
        if (indexed < 1 || int(ix.fields.size()) != ix.keyFields + 1) {
            complain(QStringLiteral("%1 champs dont %2 de clé").arg(ix.fields.size()).arg(ix.keyFields));
            continue;
        }
        // The table's fields it holds: by number for one field, by name otherwise.
        std::vector<int> columns;
        for (int i = 0; i < indexed; ++i) {
            int found = -1;
            if (indexed == 1 && !grouped) {
                found = ix.indexField - 1;
            } else {
                for (size_t k = 0; k < db.fields.size(); ++k)
                    if (qstricmp(db.names[qsizetype(k)].constData(), ix.names[i].constData()) == 0)
                        found = int(k);
            }
            if (found < 0 || found >= int(db.fields.size())) {
                complain(QStringLiteral("champ %1 introuvable dans la table").arg(i + 1));
                columns.clear();
                break;
            }
            columns.push_back(found);
        }
        if (columns.empty())
            continue;
        const bool caseless = grouped && indexed == 1;

        // The projection of the table, as a multiset.
        std::multimap<QByteArray, int> expected;
        int keySize = 0;
        for (int k = 0; k < db.keyFields; ++k)
            keySize += db.fields[size_t(k)].px_flen;
        for (size_t r = 0; r < db.records.size(); ++r) {
            QByteArray p;
            for (int c : columns)
                p += db.records[r].mid(offsetOf(db.fields, c), db.fields[size_t(c)].px_flen);
            p += db.records[r].left(keySize);
            p += char(((db.blocks[r] >> 8) & 0xff) ^ 0x80);
            p += char(db.blocks[r] & 0xff);
            expected.emplace(p, 0);
        }
        std::multimap<QByteArray, int> actual;
        for (const QByteArray &r : ix.records)
            actual.emplace(r, 0);
        if (ix.records.size() != db.records.size() || !std::equal(expected.begin(), expected.end(), actual.begin(), actual.end(),
                                                                  [](const auto &a, const auto &b) { return a.first == b.first; })) {
            complain(QStringLiteral("%1 enregistrements pour %2 lignes, ou des enregistrements qui ne sont pas ceux de la table")
                         .arg(ix.records.size()).arg(db.records.size()));
            continue;
        }
        // In order: each field in turn, then the key.
        auto compare = [&](const QByteArray &a, const QByteArray &b) {
            for (int i = 0; i < ix.keyFields; ++i) {
                const pxfield_t &f = ix.fields[size_t(i)];
                const int o = offsetOf(ix.fields, i);
                const QByteArray va = a.mid(o, f.px_flen), vb = b.mid(o, f.px_flen);
                int c = 0;
                if (f.px_ftype == pxfAlpha) {
                    const QString ta = cp1252(QByteArrayView(va.constData(), qstrnlen(va.constData(), va.size())));
                    const QString tb = cp1252(QByteArrayView(vb.constData(), qstrnlen(vb.constData(), vb.size())));
                    if (ta.isEmpty() != tb.isEmpty())
                        return ta.isEmpty() ? -1 : 1;
                    c = collator.compare(ta, tb);
                    if (c == 0 && !(caseless && i < indexed))
                        c = std::memcmp(va.constData(), vb.constData(), size_t(va.size()));
                } else {
                    c = std::memcmp(va.constData(), vb.constData(), size_t(va.size()));
                }
                if (c != 0)
                    return c;
            }
            return 0;
        };
        for (size_t i = 1; i < ix.records.size(); ++i)
            if (compare(ix.records[i - 1], ix.records[i]) > 0) {
                complain(QStringLiteral("les enregistrements %1 et %2 ne sont pas dans l'ordre").arg(i).arg(i + 1));
                break;
            }

        // Its .Y: every block of the .X, in order.
        QString yFile = xFile;
        yFile[yFile.size() - xi.suffix().size()] = xi.suffix().at(0).isUpper() ? QLatin1Char('Y') : QLatin1Char('y');
        QFile yf(yFile);
        if (!yf.open(QIODevice::ReadOnly)) {
            complain(QStringLiteral("pas de fichier .Y"));
            continue;
        }
        int xKeySize = 0;
        for (int i = 0; i < ix.keyFields; ++i)
            xKeySize += ix.fields[size_t(i)].px_flen;
        std::vector<Entry> entries;
        const QString walked = walkY(yf.readAll(), xKeySize, &entries);
        if (!walked.isEmpty()) {
            complain(QStringLiteral(".Y : ") + walked);
            continue;
        }
        std::vector<Entry> blocks;
        for (size_t r = 0; r < ix.records.size(); ++r) {
            if (blocks.empty() || blocks.back().block != ix.blocks[r])
                blocks.push_back(Entry{ix.blocks[r], 0, ix.records[r].left(xKeySize)});
            ++blocks.back().count;
        }
        if (entries.size() != blocks.size()) {
            complain(QStringLiteral(".Y : %1 entrées pour %2 blocs").arg(entries.size()).arg(blocks.size()));
            continue;
        }
        for (size_t i = 0; i < blocks.size(); ++i)
            if (entries[i].block != blocks[i].block || entries[i].count != blocks[i].count || entries[i].key != blocks[i].key) {
                complain(QStringLiteral(".Y : l'entrée %1 ne correspond pas au bloc %2").arg(i + 1).arg(blocks[i].block));
                break;
            }
    }
    return problems.join(QLatin1Char('\n'));
}

QStringList pxlibRecords(const QString &dbFile)
{
    const PxTableRead t = readWithPxlib(dbFile);
    if (!t.error.isEmpty())
        return {t.error};
    QStringList out;
    for (const QByteArray &record : t.records) {
        QByteArray r = record;
        for (int i = 0; i < int(t.fields.size()); ++i) {
            const pxfield_t &f = t.fields[size_t(i)];
            // Memo, formatted memo, binary, OLE and graphic fields end with
            // the block reference (4 bytes), the length (4) and a counter (2).
            if (f.px_ftype == pxfMemoBLOb || f.px_ftype == pxfBLOb || f.px_ftype == pxfFmtMemoBLOb
                || f.px_ftype == pxfOLE || f.px_ftype == pxfGraphic) {
                const int end = offsetOf(t.fields, i) + f.px_flen;
                r.replace(end - 10, 4, QByteArray(4, '\0'));
                r.replace(end - 2, 2, QByteArray(2, '\0'));
            }
        }
        out << QString::fromLatin1(r.toHex());
    }
    out.sort();
    return out;
}

#include "db/backends/ParadoxBackend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/paradox/ParadoxDriver.h"
#include "db/paradox/PxCodePage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace db {

namespace {

// The page of the language driver that the engine's Paradox setting names
// (start-up maintains it), for the tables whose header names none; 0 when
// it names none this engine knows.
int paradoxCodePage()
{
    for (const auto &kv : Engine::instance().readNode(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\")))
        if (kv.first.compare(QLatin1String("LANGDRIVER"), Qt::CaseInsensitive) == 0)
            return paradox::CodePage::ofLanguageDriver(kv.second);
    return 0;
}

bool wildcardMatch(const QString &pattern, const QString &name)
{
    if (pattern.isEmpty())
        return true;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(name).hasMatch();
}

} // namespace

void ParadoxBackend::open(const Settings &setting)
{
    QString dir = QDir::fromNativeSeparators(setting(QStringLiteral("PATH")));
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        throw DbError(QStringLiteral("Répertoire de base de données invalide : %1").arg(dir));
    addAndOpen(QStringLiteral("QSQLITE"), QStringLiteral(":memory:"), QString());
    try {
        paradox::attachDirectory(handle(), dir, paradoxCodePage());
    } catch (...) {
        removeConnection();
        throw;
    }
    m_directory = dir;
}

QStringList ParadoxBackend::tableNames(const QString &pattern, bool withExtensions, bool) const
{
    QStringList out;
    const QStringList files = QDir(m_directory).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &file : files) {
        if (!file.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) || !wildcardMatch(pattern, file))
            continue;
        out << (withExtensions ? file : QFileInfo(file).completeBaseName());
    }
    return out;
}

QString ParadoxBackend::writeRefusal(const QString &table) const
{
    QString name = table;
    if (name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
        name.chop(3);
    for (const QString &file : QDir(m_directory).entryList(QDir::Files))
        if (file.compare(name + QStringLiteral(".DB"), Qt::CaseInsensitive) == 0)
            return paradox::writeRefusal(QDir(m_directory).filePath(file), paradoxCodePage());
    return QString();
}

QStringList ParadoxBackend::keyColumns(const QString &table) const
{
    QString name = table;
    if (name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
        name.chop(3);
    for (const QString &file : QDir(m_directory).entryList(QDir::Files))
        if (file.compare(name + QStringLiteral(".DB"), Qt::CaseInsensitive) == 0)
            return paradox::keyColumns(QDir(m_directory).filePath(file));
    return QStringList();
}

QString ParadoxBackend::failureMessage() const
{
    return QStringLiteral("Enregistrement verrouillé par un autre utilisateur.");
}

} // namespace db

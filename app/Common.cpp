#include "app/Common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace common {

namespace {
QString g_programDir;
}

QChar separateur() { return QDir::separator(); }

QString cheminNatif(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(p);
}

QString AjouterAntiSlash(const QString &path)
{
    if (path.isEmpty())
        return path;
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        return path;
    return path + separateur();
}

QString fichierExistant(const QString &path)
{
    const QString p = QDir::fromNativeSeparators(cheminNatif(path));
    const QFileInfo fi(p);
    if (fi.exists())
        return p;
    const QDir dir = fi.dir();
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &n : names)
        if (n.compare(fi.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(n);
    return QString();
}

bool repertoireExiste(const QString &path)
{
    const QString found = fichierExistant(path);
    return !found.isEmpty() && QFileInfo(found).isDir();
}

bool SupprimerFichier(const QString &path)
{
    const QString p = QDir::fromNativeSeparators(cheminNatif(path));
    const QFileInfo fi(p);
    bool ok = true;
    for (const QString &n : fichiersCorrespondants(fi.dir().path(), fi.fileName())) {
        QFile f(fi.dir().filePath(n));
        if (!f.remove())
            ok = false;
    }
    return ok;
}

QStringList fichiersCorrespondants(const QString &directory, const QString &pattern)
{
    const QDir dir(QDir::fromNativeSeparators(cheminNatif(directory)));
    QStringList out;
    const QStringList all = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    for (const QString &n : all)
        if (re.match(n).hasMatch())
            out << n;
    return out;
}

QString repertoireProgramme()
{
    if (!g_programDir.isEmpty())
        return AjouterAntiSlash(QDir::toNativeSeparators(g_programDir));
    return AjouterAntiSlash(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

void definirRepertoireProgramme(const QString &dir) { g_programDir = dir; }

} // namespace common

#include "report/RapportPdf.h"
#include "app/Session.h"
#include "db/DbError.h"
#include "report/PrintRes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>

#include <filesystem>
#include <system_error>

namespace {

// The PDF writer reports neither a full disk nor a failed close: a file
// that does not end with its trailer was cut short.
bool pdfComplet(const QString &fichier)
{
    QFile f(fichier);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16)
        return false;
    f.seek(qMax<qint64>(0, f.size() - 1024));
    return f.readAll().contains("%%EOF");
}

std::filesystem::path cheminSysteme(const QString &chemin) { return std::filesystem::path(chemin.toStdU16String()); }

} // namespace

bool enregistrerRapportPdf(Session &s, const QString &chemin, QString *erreur)
{
    const QFileInfo cible(chemin);
    // One name per process: two programs keeping the same report never write
    // into one file, and the final name only ever holds a finished one.
    const QString temporaire = cible.absoluteFilePath() + QLatin1Char('.')
                               + QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".part");
    auto echec = [&](const QString &raison) {
        QFile::remove(temporaire);
        if (erreur)
            *erreur = QStringLiteral("Le compte rendu n'a pas pu être enregistré dans le fichier %1 : %2")
                          .arg(QDir::toNativeSeparators(cible.absoluteFilePath()), raison);
        return false;
    };

    // The usual causes said in words of their own; the system's text, in the
    // language of the system, for the others.
    const QString dossier = QDir::toNativeSeparators(cible.absolutePath());
    if (!cible.absoluteDir().exists())
        return echec(QStringLiteral("le dossier %1 n'existe pas").arg(dossier));
    if (!QFileInfo(cible.absolutePath()).isWritable())
        return echec(QStringLiteral("le droit d'écrire dans le dossier %1 n'est pas accordé").arg(dossier));
    if (cible.isDir())
        return echec(QStringLiteral("un dossier porte déjà ce nom"));
    {
        // The PDF writer only says that it failed; opening the file here
        // first gets the system's reason.
        QFile essai(temporaire);
        if (!essai.open(QIODevice::WriteOnly))
            return echec(essai.errorString());
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(temporaire);
    try {
        TFPrint rapport(s);
        rapport.imprimerSansDialogue(printer);
    } catch (const db::DbError &e) {
        return echec(QStringLiteral("le journal des résultats n'a pas pu être lu (") + e.message()
                     + QLatin1Char(')'));
    }
    if (printer.printerState() == QPrinter::Error || !pdfComplet(temporaire))
        return echec(QStringLiteral("l'écriture du fichier a échoué (disque plein ?)"));

    // A rename in one directory replaces the old file at once: a program
    // killed at any point leaves under the final name the old report or the
    // new one, whole.
    std::error_code ec;
    std::filesystem::rename(cheminSysteme(temporaire), cheminSysteme(cible.absoluteFilePath()), ec);
    if (ec)
        return echec(QStringLiteral("le fichier écrit n'a pas pu prendre ce nom (")
                     + QString::fromLocal8Bit(ec.message().c_str()) + QLatin1Char(')'));
    return true;
}

// Encodes a SQL Server password as the SAPW value of PRAXELLE.VER.
#include "app/Session.h"
#include "db/DbError.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args[1] == QLatin1String("--help")) {
        err << "Usage : AldurixPassword MOT_DE_PASSE\n"
               "Écrit la valeur de SAPW à placer dans la section [DBKERNEL] de PRAXELLE.VER.\n";
        return 2;
    }
    try {
        out << "SAPW=" << EncoderMotDePasse(args[1]) << "\n";
    } catch (const db::DbError &e) {
        err << e.message() << "\n";
        return 1;
    }
    return 0;
}

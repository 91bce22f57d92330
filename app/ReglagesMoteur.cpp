#include "app/ReglagesMoteur.h"
#include "app/Common.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/IniFile.h"

using db::DbError;

namespace reglages {

namespace {

void decouper(const QString &setting, QString *node, QString *name)
{
    const int p = setting.indexOf(QLatin1Char(';'));
    if (p < 0)
        throw DbError(QStringLiteral("Invalid parameter passed to function.  There must be a semi-colon delimited sting passed"));
    *node = setting.left(p);
    *name = setting.mid(p + 1);
}

} // namespace

void AjusterReglagesBDE(const QString &cheminBase)
{
    db::IniFile version(common::fichierExistant(common::AjouterAntiSlash(cheminBase) + QStringLiteral("PRAXELLE.VER")));
    const int init = version.readInteger(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings"), -1);
    if (init == -1) {
        version.writeInteger(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings"), 0);
        return;
    }
    if (init != 1)
        return;
    if (LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;LOCAL SHARE")).toUpper() == QLatin1String("FALSE"))
        EcrireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;LOCAL SHARE"), QStringLiteral("TRUE"));
    const QString handles = LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;MAXFILEHANDLES"));
    bool ok = false;
    const int n = handles.trimmed().toInt(&ok);
    if (!ok)
        throw DbError(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(handles));
    if (n < 200)
        EcrireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;MAXFILEHANDLES"), QStringLiteral("200"));
    if (LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;LANGDRIVER")) != QLatin1String("intl"))
        EcrireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;LANGDRIVER"), QStringLiteral("intl"));
    if (LireParametreBDE(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\;LANGDRIVER")) != QLatin1String("intl"))
        EcrireParametreBDE(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\;LANGDRIVER"), QStringLiteral("intl"));
}


QString LireParametreBDE(const QString &setting)
{
    QString node, name;
    decouper(setting, &node, &name);
    for (const auto &kv : db::Engine::instance().readNode(node))
        if (kv.first == name)
            return kv.second.left(127);
    throw DbError(setting + QStringLiteral(" entry was not found in configuration file"));
}

void EcrireParametreBDE(const QString &setting, const QString &value)
{
    QString node, name;
    decouper(setting, &node, &name);
    auto values = db::Engine::instance().readNode(node);
    for (auto &kv : values) {
        if (kv.first == name) {
            kv.second = value.left(127);
            db::Engine::instance().writeNode(node, values);
            return;
        }
    }
    throw DbError(setting + QStringLiteral(" entry was not found in configuration file"));
}

} // namespace reglages

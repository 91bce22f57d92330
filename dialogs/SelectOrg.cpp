#include "dialogs/SelectOrg.h"
#include "app/Messages.h"
#include "app/Garde.h"
#include "app/Session.h"
#include "checks/CreationCaisse.h"
#include "db/Formats.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace fmt = db::formats;

namespace {

const QColor kObligatoire(255, 179, 179);

void colorer(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

bool estEntree(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Focus that comes back with the window (after a message box, for instance)
// is not the user entering or leaving a field.
bool changementDeChamp(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && reason != Qt::NoFocusReason;
}

} // namespace

TFSelectOrganisme::TFSelectOrganisme(Session &session, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      s(session)
{
    setObjectName(QStringLiteral("TFSelectOrganisme"));
    setWindowTitle(QStringLiteral("Affectation d'une caisse"));
    setAutoFillBackground(true);
    colorer(this, QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));

    auto *racine = new QVBoxLayout(this);
    racine->setContentsMargins(0, 0, 0, 10);
    racine->setSizeConstraint(QLayout::SetFixedSize);

    Panel1 = new QLabel(QStringLiteral("Tiers payant inconnu"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    colorer(Panel1, QPalette::Window, QColor(128, 128, 128));
    colorer(Panel1, QPalette::WindowText, Qt::white);
    QFont bandeau(QStringLiteral("Arial"));
    bandeau.setPixelSize(19);
    bandeau.setBold(true);
    Panel1->setFont(bandeau);
    Panel1->setFixedHeight(41);
    Panel1->setContentsMargins(12, 0, 0, 0);
    racine->addWidget(Panel1);

    auto *corps = new QVBoxLayout();
    corps->setContentsMargins(16, 8, 16, 0);
    racine->addLayout(corps);

    Label1 = new QLabel(QStringLiteral("La table comptabilité fait référence à une caisse principale qui n'existe pas."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    corps->addWidget(Label1);
    corps->addWidget(new QLabel(QStringLiteral("Veuillez compléter les zones suivantes afin de pouvoir créer cette caisse :"), this));

    auto *grille = new QGridLayout();
    grille->setContentsMargins(12, 6, 0, 6);
    corps->addLayout(grille);
    auto ligne = [&](const QString &nom) {
        auto *e = new QLineEdit(this);
        e->setObjectName(nom);
        e->installEventFilter(this);
        return e;
    };
    auto note = [&](const QString &texte) { return new QLabel(texte, this); };

    EDCode = ligne(QStringLiteral("EDCode"));
    EDCode->setMaxLength(10);
    grille->addWidget(note(QStringLiteral("- code :")), 0, 0);
    grille->addWidget(EDCode, 0, 1);
    grille->addWidget(note(QStringLiteral("(10 caractères maximum)")), 0, 2);

    EdNom = ligne(QStringLiteral("EdNom"));
    grille->addWidget(note(QStringLiteral("- nom :")), 1, 0);
    grille->addWidget(EdNom, 1, 1);
    grille->addWidget(note(QStringLiteral("(100 caractères maximum)")), 1, 2);

    EDTauxDef = ligne(QStringLiteral("EDTauxDef"));
    EDTauxDef->setMaxLength(3);
    EDTauxDef->setFixedWidth(40);
    auto *taux = new QHBoxLayout();
    taux->addWidget(EDTauxDef);
    taux->addWidget(note(QStringLiteral("%")));
    taux->addStretch();
    grille->addWidget(note(QStringLiteral("- taux de remboursement par défaut :")), 2, 0);
    grille->addLayout(taux, 2, 1);

    EDAdresse = new QPlainTextEdit(this);
    EDAdresse->setObjectName(QStringLiteral("EDAdresse"));
    EDAdresse->setTabChangesFocus(true);
    EDAdresse->setFixedHeight(52);
    grille->addWidget(note(QStringLiteral("- adresse")), 3, 0, Qt::AlignTop);
    grille->addWidget(EDAdresse, 3, 1, 1, 2);

    EdCP = ligne(QStringLiteral("EdCP"));
    EdCP->setMaxLength(5);
    EdCP->setFixedWidth(60);
    EDVille = ligne(QStringLiteral("EDVille"));
    EDVille->setMaxLength(25);
    auto *ville = new QHBoxLayout();
    ville->addWidget(EdCP);
    ville->addWidget(EDVille, 1);
    grille->addLayout(ville, 4, 1, 1, 2);

    EDTelephone = ligne(QStringLiteral("EDTelephone"));
    EDFax = ligne(QStringLiteral("EDFax"));
    for (QLineEdit *t : {EDTelephone, EDFax}) {
        // Five pairs of required digits, the blanks between them kept in the text.
        t->setInputMask(QStringLiteral("99 99 99 99 99;_"));
        t->setFixedWidth(120);
    }
    grille->addWidget(note(QStringLiteral("- téléphone")), 5, 0);
    grille->addWidget(EDTelephone, 5, 1, Qt::AlignLeft);
    grille->addWidget(note(QStringLiteral("- fax")), 6, 0);
    grille->addWidget(EDFax, 6, 1, Qt::AlignLeft);

    EDComments = new QPlainTextEdit(this);
    EDComments->setObjectName(QStringLiteral("EDComments"));
    EDComments->setTabChangesFocus(true);
    EDComments->setFixedHeight(52);
    grille->addWidget(note(QStringLiteral("- commentaires")), 7, 0, Qt::AlignTop);
    grille->addWidget(EDComments, 7, 1, 1, 2);
    grille->setColumnMinimumWidth(1, 220);

    for (QLineEdit *obligatoire : {EDCode, EdNom, EDTauxDef})
        colorer(obligatoire, QPalette::Base, kObligatoire);

    auto *bas = new QHBoxLayout();
    bas->setContentsMargins(16, 6, 16, 0);
    SBListe = new QToolButton(this);
    SBListe->setObjectName(QStringLiteral("SBListe"));
    SBListe->setText(QStringLiteral("..."));
    SBListe->setToolTip(QStringLiteral("Liste des patients concernés"));
    SBListe->setFocusPolicy(Qt::NoFocus);
    bas->addWidget(SBListe);
    bas->addWidget(note(QStringLiteral("(voir ses patients)")));
    bas->addStretch();
    bas->addWidget(note(QStringLiteral("(les champs sur fond rouge doivent obligatoirement être renseignés)")));
    BtValider = new QPushButton(QStringLiteral("  &Valider"), this);
    BtValider->setObjectName(QStringLiteral("BtValider"));
    bas->addWidget(BtValider);
    racine->addLayout(bas);

    setTabOrder(EDCode, EdNom);
    setTabOrder(EdNom, EDTauxDef);
    setTabOrder(EDTauxDef, EDAdresse);
    setTabOrder(EDAdresse, EdCP);
    setTabOrder(EdCP, EDVille);
    setTabOrder(EDVille, EDTelephone);
    setTabOrder(EDTelephone, EDFax);
    setTabOrder(EDFax, EDComments);
    setTabOrder(EDComments, BtValider);

    connect(BtValider, &QPushButton::clicked, this, [this] { garde::protegerFenetre(*this, s.ui, [this] { BtValiderClick(); }); });
    connect(SBListe, &QToolButton::clicked, this, [this] { garde::protegerFenetre(*this, s.ui, [this] { SBListeClick(); }); });
    FormCreate();
}

void TFSelectOrganisme::FormCreate() { Query2.setDatabaseName(s.NomBase); }

void TFSelectOrganisme::reject() {}

void TFSelectOrganisme::showEvent(QShowEvent *event)
{
    // Shown while the run keeps the main window disabled: as the main
    // window's child it would be disabled with it, and no field could be
    // filled nor the body created.
    setEnabled(true);
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen *ecran = screen())
        move(ecran->availableGeometry().center() - rect().center());
    garde::protegerFenetre(*this, s.ui, [this] { FormShow(); });
}

bool TFSelectOrganisme::principal() const { return s.QryCPMain.tag == 1 || s.QryCPMain.tag == 3; }

void TFSelectOrganisme::FormShow()
{
    for (QLineEdit *e : {EDCode, EdNom, EDTelephone, EDFax}) {
        e->clear();
        e->setModified(false);   // a new case starts untouched
    }
    EDAdresse->clear();
    EDComments->clear();
    EdCP->setText(QStringLiteral("CP"));
    EDVille->setText(QStringLiteral("ville"));

    struct Cas {
        const char *colonne;
        QString situation;
        const char *taux;
    };
    static const Cas cas[] = {
        {"CPOrg_1_ID", QStringLiteral("La table comptabilité fait référence à une caisse principale n°"), "70"},
        {"CPOrg_2_ID", QStringLiteral("La table comptabilité fait référence à une caisse mutuelle n°"), "100"},
        {"CPOrg_ID", QStringLiteral("La table de suivi des tiers payants fait référence à une caisse principale n°"), "70"},
        {"CPOrg_ID", QStringLiteral("La table de suivi des tiers payants fait référence à une caisse complémentaire n°"), "100"},
    };
    // The focus first: a case the window cannot read is reported by the
    // boundary, and the user still starts in the code.
    EDCode->setFocus();
    const int tag = s.QryCPMain.tag;
    if (tag >= 1 && tag <= 4) {
        const Cas &c = cas[tag - 1];
        const QString x = s.QryCPMain.fieldByName(QString::fromLatin1(c.colonne)).asString();
        Label1->setText(c.situation + x + QStringLiteral(" qui n'existe pas."));
        EDTauxDef->setText(QString::fromLatin1(c.taux));
        EDCode->setText(QStringLiteral("CI_") + x);
        EdNom->setText(QStringLiteral("Caisse inconnue n°") + x);
    }
}

void TFSelectOrganisme::EdCPClick() { EdCP->clear(); }
void TFSelectOrganisme::EDVilleClick() { EDVille->clear(); }

bool TFSelectOrganisme::EDCodeKeyPress(int key)
{
    if (!estEntree(key))
        return false;
    EdNom->setFocus();
    return true;
}

bool TFSelectOrganisme::EdNomKeyPress(int key)
{
    if (!estEntree(key))
        return false;
    BtValider->setFocus();
    return true;
}

QString TFSelectOrganisme::texteMasque(const QLineEdit *edit)
{
    QString t = edit->displayText();
    t.replace(QLatin1Char('_'), QLatin1Char(' '));
    return t;
}

bool TFSelectOrganisme::saisieIncomplete(const QLineEdit *edit)
{
    // Only a field left as it was may stay blank: a number typed and then
    // rubbed out is a change that fills no digit.
    return edit->isModified() && !edit->hasAcceptableInput();
}

bool TFSelectOrganisme::refuserSaisie(QLineEdit *edit)
{
    if (!saisieIncomplete(edit))
        return false;
    s.ui.message(Boite::Erreur, messages::kSaisieIncorrecte);
    // The field keeps the text it had when the user entered it, for Escape.
    m_retourSaisie = true;
    edit->setFocus();
    m_retourSaisie = false;
    return true;
}

bool TFSelectOrganisme::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (!edit)
        return QDialog::eventFilter(watched, event);
    const bool masque = edit == EDTelephone || edit == EDFax;
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *k = static_cast<QKeyEvent *>(event);
        if (edit == EDCode)
            return EDCodeKeyPress(k->key());
        if (edit == EdNom)
            return EdNomKeyPress(k->key());
        if (masque && k->key() == Qt::Key_Escape) {
            edit->setText(m_avantSaisie);
            edit->setModified(false);
            return true;
        }
        // Enter validates nothing from a field: only "Valider" creates the body.
        return estEntree(k->key());
    }
    case QEvent::MouseButtonPress:
        if (edit == EdCP)
            EdCPClick();
        else if (edit == EDVille)
            EDVilleClick();
        break;
    case QEvent::FocusIn:
        if (!changementDeChamp(static_cast<QFocusEvent *>(event)->reason()))
            break;
        if (edit == EdCP)
            EdCPClick();
        else if (edit == EDVille)
            EDVilleClick();
        else if (masque && !m_retourSaisie) {
            m_avantSaisie = edit->text();
            edit->setModified(false);
        }
        break;
    case QEvent::FocusOut:
        // The focus change itself is kept from happening: the refused field
        // takes the focus back and must not see itself left.
        if (masque && edit->isModified() && changementDeChamp(static_cast<QFocusEvent *>(event)->reason()))
            return refuserSaisie(edit);
        break;
    default:
        break;
    }
    return false;
}

void TFSelectOrganisme::BtValiderClick()
{
    // A click on the button can arrive while a telephone field is being
    // refused; a partial number is never written.
    for (QLineEdit *t : {EDTelephone, EDFax})
        if (refuserSaisie(t))
            return;
    if (EDCode->text().isEmpty()) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez compléter le champ 'code'."));
        EDCode->setFocus();
        return;
    }
    if (EdNom->text().isEmpty()) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez compléter le champ 'nom'."));
        EdNom->setFocus();
        return;
    }
    bool entier = false;
    EDTauxDef->text().toInt(&entier, 10);
    if (!entier) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez compléter le champ 'taux de remboursement par défaut'."));
        EDTauxDef->setFocus();
        return;
    }

    if (fmt::upperAscii(EdCP->text()) == QLatin1String("CP"))
        EdCP->clear();
    if (fmt::upperAscii(EDVille->text()) == QLatin1String("VILLE"))
        EDVille->clear();

    const SaisieCaisse saisie{EDCode->text(),         EdNom->text(),       EDAdresse->toPlainText(),
                              EdCP->text(),           EDVille->text(),     texteMasque(EDTelephone),
                              texteMasque(EDFax),     EDTauxDef->text(),   EDComments->toPlainText()};
    done(CreationCaisse(s).CreerCaisse(saisie) ? ResultatOk : ResultatNon);
}

void TFSelectOrganisme::SBListeClick()
{
    Query2.setDatabaseName(s.NomBase);
    Query2.clearSql();
    Query2.addLine(QStringLiteral("SELECT C.PATIENTS_ID, P.N_OMON, P.NOM, P.PRENOM, P.NE_LE FROM CPMAIN C, PATIENTS P"));
    Query2.addLine(principal() ? QStringLiteral("WHERE CPOrg_1_ID =:id") : QStringLiteral("WHERE CPOrg_2_ID =:id"));
    Query2.addLine(QStringLiteral("AND C.PATIENTS_ID=P.PATIENTS_ID"));
    Query2.addLine(QStringLiteral("GROUP BY C.PATIENTS_ID, P.NOM, P.PRENOM, P.NE_LE, P.N_OMON"));
    Query2.addLine(QStringLiteral("ORDER BY P.NOM, P.PRENOM, P.NE_LE, P.N_OMON"));
    Query2.setInteger(QStringLiteral("id"), s.QryCPMain.field(0).asInteger());
    Query2.open();
    QStringList lignes;
    for (Query2.first(); !Query2.eof(); Query2.next())
        lignes << QStringLiteral("(") + Query2.fieldByName(QStringLiteral("N_OMON")).asString() + QStringLiteral(") ")
                      + fmt::upperAscii(Query2.fieldByName(QStringLiteral("NOM")).asString()) + QLatin1Char(' ')
                      + Query2.fieldByName(QStringLiteral("PRENOM")).asString() + QStringLiteral(" - ")
                      + Query2.fieldByName(QStringLiteral("NE_LE")).asString();
    Query2.close();
    s.ui.message(Boite::Information, lignes.join(QStringLiteral("\r")));
}

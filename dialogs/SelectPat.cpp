#include "dialogs/SelectPat.h"
#include "app/Messages.h"
#include "app/Garde.h"
#include "app/Progress.h"
#include "app/Session.h"
#include "db/Formats.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCollator>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace fmt = db::formats;

namespace {

const QString kChoisir = QStringLiteral("Sélectionnez un dossier patient dans la liste");
const QString kNomInconnu = QStringLiteral("ZZ Patient inconnu");

bool estEntree(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == 13; }

// The pick list sorts as the practice's users read names: accents and case
// do not push a name to the end of the list.
const QCollator &ordreAlphabetique()
{
    static const QCollator c = [] {
        QCollator col{QLocale(QLocale::French, QLocale::France)};
        col.setCaseSensitivity(Qt::CaseInsensitive);
        return col;
    }();
    return c;
}

} // namespace

// --- ChampSaisie, ChampDate ---------------------------------------------------

void ChampSaisie::mouseReleaseEvent(QMouseEvent *e)
{
    QLineEdit::mouseReleaseEvent(e);
    emit clique();
}

void ChampSaisie::focusInEvent(QFocusEvent *e)
{
    QLineEdit::focusInEvent(e);
    emit entree();
}

void ChampSaisie::focusOutEvent(QFocusEvent *e)
{
    QLineEdit::focusOutEvent(e);
    if (e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason)
        emit sortie();
}

void ChampSaisie::keyPressEvent(QKeyEvent *e)
{
    bool traitee = false;
    emit touche(e->key(), &traitee);
    if (traitee) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

ChampDate::ChampDate(QWidget *parent) : ChampSaisie(parent)
{
    // Qt's "0" is the optional digit and "9" the required one.
    setInputMask(QStringLiteral("00/00/9999;_"));
    setMaxLength(10);
    setTexte(texteVide());
}

QString ChampDate::texte() const
{
    QString t = displayText();
    t.replace(QLatin1Char('_'), QLatin1Char(' '));
    return t;
}

void ChampDate::setTexte(const QString &t)
{
    setText(t);
    setModified(false);
    m_texteEntree = texte();
}

void ChampDate::focusInEvent(QFocusEvent *e)
{
    if (!isModified())
        m_texteEntree = texte();
    ChampSaisie::focusInEvent(e);
}

void ChampDate::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && isModified()) {
        setTexte(m_texteEntree);
        e->accept();
        return;
    }
    ChampSaisie::keyPressEvent(e);
}

// --- TFSelectPatient: window ----------------------------------------------------

TFSelectPatient::TFSelectPatient(Session &session, Progression &progression, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), s(session), prog(progression)
{
    construire();
    // Created under the program entry's boundary, which ends the program if
    // need be; a failure here is reported and the progress display closed.
    try {
        FormCreate();
    } catch (const std::exception &e) {
        ArreterProgression();
        garde::rapporter(s.ui, e);
    }
}

TFSelectPatient::~TFSelectPatient() = default;

void TFSelectPatient::construire()
{
    setObjectName(QStringLiteral("TFSelectPatient"));
    setWindowTitle(QStringLiteral("Affectation d'un patient"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    setPalette(pal);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Panel1 = new QLabel(QStringLiteral("Patient inconnu"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette bp = Panel1->palette();
    bp.setColor(QPalette::Window, bp.color(QPalette::Dark));
    bp.setColor(QPalette::WindowText, Qt::white);
    Panel1->setPalette(bp);
    QFont bf = Panel1->font();
    bf.setBold(true);
    bf.setPixelSize(16);
    Panel1->setFont(bf);
    Panel1->setFixedHeight(32);
    Panel1->setContentsMargins(10, 0, 0, 0);
    layout->addWidget(Panel1);

    auto *corps = new QVBoxLayout();
    corps->setContentsMargins(14, 10, 14, 10);
    corps->setSpacing(6);
    auto *intro = new QLabel(QStringLiteral("La table comptabilité fait référence à un dossier patient qui n'existe pas :"), this);
    intro->setObjectName(QStringLiteral("Label1"));
    corps->addWidget(intro);

    auto *grille = new QGridLayout();
    grille->setHorizontalSpacing(8);
    grille->setVerticalSpacing(2);
    int ligne = 0;
    auto paire = [&](const QString &legende, const char *nom, bool retrait) {
        auto *l = new QLabel(legende, this);
        QPalette lp = l->palette();
        lp.setColor(QPalette::WindowText, QColor(0, 0, 128));
        l->setPalette(lp);
        if (retrait)
            l->setContentsMargins(24, 0, 0, 0);
        auto *v = new QLabel(this);
        v->setObjectName(QString::fromLatin1(nom));
        QPalette vp = v->palette();
        vp.setColor(QPalette::WindowText, Qt::black);
        v->setPalette(vp);
        v->setMinimumWidth(280);
        grille->addWidget(l, ligne, 0);
        grille->addWidget(v, ligne, 1);
        ++ligne;
        return v;
    };
    LPatients_ID = paire(QStringLiteral("- numéro de dossier :"), "LPatients_ID", false);
    LMedecins_ID = paire(QStringLiteral("- médecin destinataire des actes :"), "LMedecins_ID", false);
    LDate_Consultation = paire(QStringLiteral("- date de la consultation :"), "LDate_Consultation", false);
    LActes = paire(QStringLiteral("- acte(s) facturés :"), "LActes", false);
    LMontant = paire(QStringLiteral("- montant facturé :"), "LMontant", false);
    LPaiement_Patient = paire(QStringLiteral("- somme payée par le patient :"), "LPaiement_Patient", false);
    LCaisse_principale = paire(QStringLiteral("- caisse principale :"), "LCaisse_principale", false);
    LMontant_caisse_principale = paire(QStringLiteral("montant pris en charge :"), "LMontant_caisse_principale", true);
    LPaiement_caisse_principale = paire(QStringLiteral("montant payé :"), "LPaiement_caisse_principale", true);
    LMutuelle = paire(QStringLiteral("- mutuelle :"), "LMutuelle", false);
    LMontant_mutuelle = paire(QStringLiteral("montant pris en charge :"), "LMontant_mutuelle", true);
    LPaiement_Mutuelle = paire(QStringLiteral("montant payé :"), "LPaiement_Mutuelle", true);
    LCPSVFact_ID = paire(QStringLiteral("- numéro de la FSE :"), "LCPSVFact_ID", false);
    LDepoDate = paire(QStringLiteral("- date de dépôt du chèque :"), "LDepoDate", false);
    corps->addLayout(grille);

    RGChoice = new QGroupBox(QStringLiteral(" Vous souhaitez affecter cette facturation ? "), this);
    RGChoice->setObjectName(QStringLiteral("RGChoice"));
    auto *colonnes = new QHBoxLayout(RGChoice);
    RGChoiceItems = new QButtonGroup(RGChoice);
    auto *existant = new QRadioButton(QStringLiteral("à un patient existant"), RGChoice);
    existant->setObjectName(QStringLiteral("RGChoice_0"));
    auto *nouveau = new QRadioButton(QStringLiteral("à un nouveau patient "), RGChoice);
    nouveau->setObjectName(QStringLiteral("RGChoice_1"));
    RGChoiceItems->addButton(existant, 0);
    RGChoiceItems->addButton(nouveau, 1);
    // Two columns; each button only as wide as its text, so that a click
    // anywhere on it selects it.
    colonnes->addWidget(existant, 1, Qt::AlignLeft);
    colonnes->addWidget(nouveau, 1, Qt::AlignLeft);
    existant->setChecked(true);
    corps->addWidget(RGChoice);
    layout->addLayout(corps);

    // The bottom strip: one of the two panels, as the choice says.
    PPatient_existant = new QWidget(this);
    PPatient_existant->setObjectName(QStringLiteral("PPatient_existant"));
    auto *pe = new QHBoxLayout(PPatient_existant);
    pe->setContentsMargins(14, 8, 14, 12);
    CBPatients_existant = new QComboBox(PPatient_existant);
    CBPatients_existant->setObjectName(QStringLiteral("CBPatients_existant"));
    CBPatients_existant->setEditable(true);
    CBPatients_existant->setInsertPolicy(QComboBox::NoInsert);
    CBPatients_existant->setMinimumWidth(420);
    CBPatients_existant->setEditText(kChoisir);
    BtPatient_existant = new QPushButton(QStringLiteral("&Valider"), PPatient_existant);
    BtPatient_existant->setObjectName(QStringLiteral("BtPatient_existant"));
    pe->addWidget(CBPatients_existant, 1);
    pe->addWidget(BtPatient_existant);
    layout->addWidget(PPatient_existant);

    PNouveau_patient = new QWidget(this);
    PNouveau_patient->setObjectName(QStringLiteral("PNouveau_patient"));
    auto *pn = new QHBoxLayout(PNouveau_patient);
    pn->setContentsMargins(14, 8, 14, 12);
    EDNom = new ChampSaisie(PNouveau_patient);
    EDNom->setObjectName(QStringLiteral("EDNom"));
    EDNom->setText(kNomVide);
    EDNom->setToolTip(QStringLiteral("Entrer le nom du patient"));
    EDPrenom = new ChampSaisie(PNouveau_patient);
    EDPrenom->setObjectName(QStringLiteral("EDPrenom"));
    EDPrenom->setText(kPrenomVide);
    EDPrenom->setToolTip(QStringLiteral("Entrer le prénom du patient"));
    auto *ne = new QLabel(QStringLiteral("né(e) le"), PNouveau_patient);
    EDNe_le = new ChampDate(PNouveau_patient);
    EDNe_le->setObjectName(QStringLiteral("EDNe_le"));
    EDNe_le->setToolTip(QStringLiteral("Entrer la date de naissance du patient"));
    EDNe_le->setFixedWidth(EDNe_le->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 12);
    auto *facultative = new QLabel(QStringLiteral("(date facultative)"), PNouveau_patient);
    BtNouveau_patient = new QPushButton(QStringLiteral("&Valider"), PNouveau_patient);
    BtNouveau_patient->setObjectName(QStringLiteral("BtNouveau_patient"));
    pn->addWidget(EDNom, 1);
    pn->addWidget(EDPrenom, 1);
    pn->addWidget(ne);
    pn->addWidget(EDNe_le);
    pn->addWidget(facultative);
    pn->addWidget(BtNouveau_patient);
    layout->addWidget(PNouveau_patient);
    // Both fields show their whole placeholder, and the window keeps one
    // width whichever panel is shown.
    for (ChampSaisie *champ : {EDNom, EDPrenom})
        champ->setMinimumWidth(champ->fontMetrics().horizontalAdvance(kPrenomVide) + 16);
    PPatient_existant->setMinimumWidth(PNouveau_patient->sizeHint().width());
    PNouveau_patient->hide();
    BtPatient_existant->setDefault(true);

    connect(RGChoiceItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RGChoiceClick();
    });
    connect(BtPatient_existant, &QPushButton::clicked, this, &TFSelectPatient::BtPatient_existantClick);
    connect(BtNouveau_patient, &QPushButton::clicked, this, &TFSelectPatient::BtNouveau_patientClick);
    connect(EDNom, &ChampSaisie::clique, this, &TFSelectPatient::EDNomClick);
    connect(EDPrenom, &ChampSaisie::clique, this, &TFSelectPatient::EDPrenomClick);
    connect(EDNom, &ChampSaisie::entree, this, &TFSelectPatient::EDNomEnter);
    connect(EDPrenom, &ChampSaisie::entree, this, &TFSelectPatient::EDPrenomEnter);
    connect(EDNom, &ChampSaisie::sortie, this, &TFSelectPatient::EDNomExit);
    connect(EDPrenom, &ChampSaisie::sortie, this, &TFSelectPatient::EDPrenomExit);
    connect(EDNom, &ChampSaisie::touche, this, [this](int key, bool *traitee) {
        if (estEntree(key)) {
            EDNomKeyPress(key);
            *traitee = true;
        }
    });
    connect(EDPrenom, &ChampSaisie::touche, this, [this](int key, bool *traitee) {
        if (estEntree(key)) {
            EDPrenomKeyPress(key);
            *traitee = true;
        }
    });
    // The message box is not shown from inside the focus change: a click on a
    // button that took the focus reports the refusal itself, once.
    connect(EDNe_le, &ChampSaisie::sortie, this, [this] {
        if (EDNe_le->saisieRefusee()) {
            m_refusDateEnAttente = true;
            QTimer::singleShot(0, this, &TFSelectPatient::refuserDate);
        }
    });

    if (QScreen *sc = QGuiApplication::primaryScreen())
        move(sc->availableGeometry().center() - QPoint(sizeHint().width() / 2, sizeHint().height() / 2));
}

void TFSelectPatient::refuserDate()
{
    if (!m_refusDateEnAttente)
        return;
    m_refusDateEnAttente = false;
    if (!EDNe_le->saisieRefusee())
        return;
    s.ui.message(Boite::Erreur, messages::kSaisieIncorrecte);
    EDNe_le->setFocus();
}

// No cancel: neither Escape nor the window's close ends the dialog.
void TFSelectPatient::reject() {}

void TFSelectPatient::closeEvent(QCloseEvent *e) { e->ignore(); }

void TFSelectPatient::showEvent(QShowEvent *e)
{
    // The main window is disabled while the run goes on, and as our owner it
    // would disable us with it.
    setEnabled(true);
    QDialog::showEvent(e);
}

int TFSelectPatient::afficher()
{
    // The show step belongs to the case, not to the window: a window manager
    // showing the window again (restored from the task bar) must not wipe
    // what the user typed.
    fin.reset();
    if (auto f = garde::proteger(s.ui, [this] { FormShow(); })) {
        fin = f;
        return ResultatNon;
    }
    return exec();
}

// --- Creation and show -------------------------------------------------------------

QString TFSelectPatient::libellePatient(const QString &nom, const QString &prenom, const QString &neLe,
                                        const QString &nOmon)
{
    return fmt::upperAscii(nom) + QLatin1Char(' ') + prenom + QStringLiteral(" né(e) le ") + neLe
           + QStringLiteral(" (") + nOmon + QLatin1Char(')');
}

void TFSelectPatient::FormCreate()
{
    QryCPOrg.setDatabaseName(s.NomBase);
    if (!s.baseOuverte)   // start-up left the program without a database
        return;
    db::TableCursor &patients = s.TablePatients;
    const QString texte = QStringLiteral("Construction de la liste des patients...");
    const int total = patients.recordCount();
    DemarrerProgression(texte, total, 1, 0, true);
    // Sorted once at the end rather than item by item: practices hold tens of
    // thousands of patients.
    std::vector<std::pair<QString, qint64>> items;
    items.reserve(size_t(total));
    for (patients.first(); !patients.eof(); patients.next()) {
        UpdateProgression(texte, total, patients.recNo());
        items.emplace_back(libellePatient(patients.fieldByName(QStringLiteral("NOM")).asString(),
                                          patients.fieldByName(QStringLiteral("PRENOM")).asString(),
                                          fmt::dateToText(patients.fieldByName(QStringLiteral("NE_LE")).asDateTime().date()),
                                          patients.fieldByName(QStringLiteral("N_OMON")).asString()),
                           patients.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger());
    }
    const QCollator &ordre = ordreAlphabetique();
    std::stable_sort(items.begin(), items.end(),
                     [&](const auto &a, const auto &b) { return ordre.compare(a.first, b.first) < 0; });
    CBPatients_existant->clear();
    for (const auto &[libelle, id] : items)
        CBPatients_existant->addItem(libelle, id);
    CBPatients_existant->setEditText(kChoisir);
    patients.first();
    ArreterProgression();
}

void TFSelectPatient::ajouterALaListe(const QString &libelle, qint64 patientId)
{
    const QCollator &ordre = ordreAlphabetique();
    int bas = 0, haut = CBPatients_existant->count();
    while (bas < haut) {
        const int milieu = (bas + haut) / 2;
        if (ordre.compare(CBPatients_existant->itemText(milieu), libelle) <= 0)
            bas = milieu + 1;
        else
            haut = milieu;
    }
    CBPatients_existant->insertItem(bas, libelle, patientId);
}

QString TFSelectPatient::libelleCaisse(const QString &colonne)
{
    const db::Field champ = s.QryCPMain.fieldByName(colonne);
    const qint64 numero = champ.asInteger();
    if (numero <= 0)
        return QString();
    QryCPOrg.clearSql();
    QryCPOrg.addLine(QStringLiteral("SELECT count(*) as countrec FROM CPOrg WHERE CPOrg_ID = :numero"));
    QryCPOrg.setInteger(QStringLiteral("numero"), numero);
    QryCPOrg.open();
    if (QryCPOrg.fieldByName(QStringLiteral("countrec")).asInteger() < 1)
        return QStringLiteral("caisse n°") + champ.asString() + QStringLiteral(" inconnue.");
    QryCPOrg.clearSql();
    QryCPOrg.addLine(QStringLiteral("SELECT * FROM CPOrg WHERE CPOrg_ID = :numero"));
    QryCPOrg.setInteger(QStringLiteral("numero"), numero);
    QryCPOrg.open();
    QString libelle = QryCPOrg.fieldByName(QStringLiteral("Nom")).asString();
    if (libelle.isEmpty())
        libelle = QryCPOrg.fieldByName(QStringLiteral("Organisme")).asString();
    const QString ville = QryCPOrg.fieldByName(QStringLiteral("Ville")).asString();
    if (!ville.isEmpty())
        libelle += QStringLiteral(" (") + ville + QLatin1Char(')');
    return libelle;
}

void TFSelectPatient::FormShow()
{
    BtPatient_existant->setEnabled(true);
    BtNouveau_patient->setEnabled(true);
    if (RGChoiceItems->checkedId() == 1) {
        EDNom->setText(kNomInconnu);
        EDNom->setFocus();
        EDNom->selectAll();
    }
    EDPrenom->setText(kPrenomVide);
    EDNe_le->setTexte(ChampDate::texteVide());
    m_refusDateEnAttente = false;
    CBPatients_existant->setCurrentIndex(CBPatients_existant->count() > 0 ? 0 : -1);
    CBPatients_existant->setEditText(kChoisir);

    const db::Query &cp = s.QryCPMain;
    auto texte = [&](const char *colonne) { return cp.fieldByName(QString::fromLatin1(colonne)).asString(); };
    auto valeur = [&](const char *colonne) { return cp.fieldByName(QString::fromLatin1(colonne)).asFloat(); };
    const QString monnaie = texte("MONNAIE1");
    auto montant = [&](double v) { return s.RenvoyerMontant(monnaie, v); };
    auto positif = [&](const char *colonne) { return db::montantPositif(valeur(colonne)); };
    auto siPositif = [&](const char *colonne) { return positif(colonne) ? montant(valeur(colonne)) : QString(); };

    LPatients_ID->setText(texte("PATIENTS_ID"));
    // The caller's lookup is not checked: when the physician is missing from
    // the snapshot (one created during the run), the table stands on someone
    // else, so the accounting row's own number is shown instead.
    const qint64 medecin = cp.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger();
    if (s.TableMedecins.findKey({medecin}))
        LMedecins_ID->setText(s.TableMedecins.fieldByName(QStringLiteral("PRENOM")).asString() + QLatin1Char(' ')
                              + s.TableMedecins.fieldByName(QStringLiteral("NOM")).asString());
    else
        LMedecins_ID->setText(QStringLiteral("n°") + texte("MEDECINS_ID"));
    LDate_Consultation->setText(texte("DATE_CONSULTATION"));

    QString actes = texte("CodeActe1");
    for (const char *c : {"CodeActe2", "CodeActe3", "CodeActe4"}) {
        const QString code = texte(c);
        if (!code.isEmpty())
            actes += QLatin1Char('+') + code;
    }
    LActes->setText(actes);
    db::Decimal total;
    for (const char *m : {"Montant1", "Montant2", "Montant3", "Montant4"})
        total += cp.fieldByName(QString::fromLatin1(m)).asDecimal();
    LMontant->setText(s.RenvoyerMontant(monnaie, total));

    QString paiement;
    if (positif("Paiement1"))
        paiement = montant(valeur("Paiement1")) + QStringLiteral(" en ") + texte("Mode1");
    if (positif("Paiement2"))
        paiement += QStringLiteral(" et ") + montant(valeur("Paiement2")) + QStringLiteral(" en ") + texte("Mode2");
    LPaiement_Patient->setText(paiement);

    LCaisse_principale->setText(libelleCaisse(QStringLiteral("CPOrg_1_ID")));
    LMontant_caisse_principale->setText(siPositif("MontantTiersPayant1"));
    LPaiement_caisse_principale->setText(siPositif("RegleTiersPayant1"));
    LMutuelle->setText(libelleCaisse(QStringLiteral("CPOrg_2_ID")));
    LMontant_mutuelle->setText(siPositif("MontantTiersPayant2"));
    LPaiement_Mutuelle->setText(siPositif("RegleTiersPayant2"));
    LCPSVFact_ID->setText(cp.fieldByName(QStringLiteral("CPSVFact_ID")).asInteger() >= 1 ? texte("CPSVFact_ID") : QString());
    LDepoDate->setText(texte("DepoDate"));
}

// --- Choice and edit fields ------------------------------------------------------------

void TFSelectPatient::RGChoiceClick()
{
    const bool nouveau = RGChoiceItems->checkedId() == 1;
    PPatient_existant->setVisible(!nouveau);
    PNouveau_patient->setVisible(nouveau);
    (nouveau ? BtNouveau_patient : BtPatient_existant)->setDefault(true);
    if (nouveau) {
        EDNom->setFocus();
        // An arrow key checks the item first and then moves the focus onto
        // it: the name field takes the focus back once the key is handled.
        QTimer::singleShot(0, this, [this] {
            if (RGChoiceItems->checkedId() == 1 && PNouveau_patient->isVisible())
                EDNom->setFocus();
        });
    }
}

void TFSelectPatient::EDNomClick()
{
    if (EDNom->text() == kNomVide)
        EDNom->clear();
}

void TFSelectPatient::EDPrenomClick()
{
    if (EDPrenom->text() == kPrenomVide)
        EDPrenom->clear();
}

void TFSelectPatient::EDNomEnter() { EDNom->selectAll(); }
void TFSelectPatient::EDPrenomEnter() { EDPrenom->selectAll(); }

void TFSelectPatient::EDNomExit()
{
    if (EDNom->text().isEmpty())
        EDNom->setText(kNomVide);
}

void TFSelectPatient::EDPrenomExit()
{
    if (EDPrenom->text().isEmpty())
        EDPrenom->setText(kPrenomVide);
}

void TFSelectPatient::EDNomKeyPress(int key)
{
    if (estEntree(key))
        EDPrenom->setFocus();
}

void TFSelectPatient::EDPrenomKeyPress(int key)
{
    if (estEntree(key))
        BtNouveau_patient->setFocus();
}

// --- The dialog's own progress display -------------------------------------------------

void TFSelectPatient::DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible)
{
    prog.demarrer(this, QString(28, QLatin1Char(' ')), text, maximum, step, position, barVisible);
}

void TFSelectPatient::UpdateProgression(const QString &text, int maximum, int position)
{
    prog.mettreAJour(this, QString(28, QLatin1Char(' ')), text, maximum, position);
}

void TFSelectPatient::ArreterProgression() { prog.arreter(this, true); }

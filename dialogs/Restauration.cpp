#include "dialogs/Restauration.h"
#include "app/Garde.h"
#include "app/Sauvegardes.h"
#include "app/Session.h"
#include "db/DbError.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

TFRestauration::TFRestauration(Session &session, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), s(session)
{
    setObjectName(QStringLiteral("TFRestauration"));
    setWindowTitle(QStringLiteral("Sauvegardes des traitements"));
    setModal(true);

    auto *racine = new QVBoxLayout(this);
    auto *explication = new QLabel(QStringLiteral("Chaque traitement a sauvegardé les enregistrements avant de les corriger. "
                                                  "La restauration d'une sauvegarde annule les corrections de son traitement."),
                                   this);
    explication->setWordWrap(true);
    racine->addWidget(explication);

    ListeSauvegardes = new QTreeWidget(this);
    ListeSauvegardes->setObjectName(QStringLiteral("ListeSauvegardes"));
    ListeSauvegardes->setHeaderLabels({QStringLiteral("Date du traitement"), QStringLiteral("Base"),
                                       QStringLiteral("Enregistrements modifiés"), QStringLiteral("État"),
                                       QStringLiteral("Résumé du journal")});
    ListeSauvegardes->setRootIsDecorated(false);
    ListeSauvegardes->setUniformRowHeights(true);
    ListeSauvegardes->setSelectionMode(QAbstractItemView::SingleSelection);
    ListeSauvegardes->setAllColumnsShowFocus(true);
    ListeSauvegardes->header()->setStretchLastSection(true);
    racine->addWidget(ListeSauvegardes, 1);

    LAucuneSauvegarde = new QLabel(this);
    LAucuneSauvegarde->setObjectName(QStringLiteral("LAucuneSauvegarde"));
    racine->addWidget(LAucuneSauvegarde);

    auto *boutons = new QHBoxLayout();
    BtRestaurer = new QPushButton(QStringLiteral("&Restaurer"), this);
    BtRestaurer->setObjectName(QStringLiteral("BtRestaurer"));
    BtCompteRendu = new QPushButton(QStringLiteral("Ouvrir le &compte rendu"), this);
    BtCompteRendu->setObjectName(QStringLiteral("BtCompteRendu"));
    BtFermer = new QPushButton(QStringLiteral("&Fermer"), this);
    BtFermer->setObjectName(QStringLiteral("BtFermer"));
    // Enter on the list is no restore.
    for (QPushButton *b : {BtRestaurer, BtCompteRendu, BtFermer})
        b->setAutoDefault(false);
    boutons->addWidget(BtRestaurer);
    boutons->addWidget(BtCompteRendu);
    boutons->addStretch();
    boutons->addWidget(BtFermer);
    racine->addLayout(boutons);

    connect(ListeSauvegardes, &QTreeWidget::itemSelectionChanged, this, &TFRestauration::selectionChangee);
    connect(BtRestaurer, &QPushButton::clicked, this,
            [this] { garde::protegerFenetre(*this, s.ui, [this] { BtRestaurerClick(); }); });
    connect(BtCompteRendu, &QPushButton::clicked, this,
            [this] { garde::protegerFenetre(*this, s.ui, [this] { BtCompteRenduClick(); }); });
    connect(BtFermer, &QPushButton::clicked, this, &QDialog::accept);

    resize(860, 320);
    garde::protegerFenetre(*this, s.ui, [this] { actualiser(); });
}

void TFRestauration::actualiser()
{
    // The selection follows its backup, not its place: a restore moves nothing,
    // but another run may have added a backup since.
    const db::BackupInfo *avant = selection();
    const QString choisi = avant ? avant->file : QString();
    m_sauvegardes = db::listBackups(s.RepertoireSauvegardes);
    const QSignalBlocker bloque(ListeSauvegardes);
    ListeSauvegardes->clear();
    QTreeWidgetItem *aChoisir = nullptr;
    for (int i = 0; i < m_sauvegardes.size(); ++i) {
        const db::BackupInfo &b = m_sauvegardes[i];
        auto *item = new QTreeWidgetItem(ListeSauvegardes);
        item->setText(ColDate, b.started.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        item->setText(ColBase, b.databaseText());
        item->setText(ColModifies, QString::number(b.changedRows));
        item->setTextAlignment(ColModifies, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(ColEtat, sauvegardes::etat(b));
        item->setText(ColResume, b.summary);
        item->setToolTip(ColDate, QDir::toNativeSeparators(b.file));
        item->setData(ColDate, Qt::UserRole, i);
        if (b.file == choisi)
            aChoisir = item;
    }
    for (int c = ColDate; c < ColResume; ++c)
        ListeSauvegardes->resizeColumnToContents(c);
    if (aChoisir)
        ListeSauvegardes->setCurrentItem(aChoisir);
    LAucuneSauvegarde->setText(QStringLiteral("Aucune sauvegarde dans ") + QDir::toNativeSeparators(s.RepertoireSauvegardes));
    LAucuneSauvegarde->setVisible(m_sauvegardes.isEmpty());
    selectionChangee();
}

const db::BackupInfo *TFRestauration::selection() const
{
    const QList<QTreeWidgetItem *> choisis = ListeSauvegardes->selectedItems();
    if (choisis.isEmpty())
        return nullptr;
    const int i = choisis.first()->data(ColDate, Qt::UserRole).toInt();
    return i >= 0 && i < m_sauvegardes.size() ? &m_sauvegardes[i] : nullptr;
}

void TFRestauration::selectionChangee()
{
    const db::BackupInfo *b = selection();
    BtRestaurer->setEnabled(b != nullptr);
    BtCompteRendu->setEnabled(b && !b->report.isEmpty() && QFileInfo::exists(b->report));
}

void TFRestauration::BtRestaurerClick()
{
    const db::BackupInfo *choisi = selection();
    if (!choisi)
        return;
    const db::BackupInfo b = *choisi;
    if (!s.ui.question(Boite::QuestionAvert, sauvegardes::confirmationRestauration(b)))
        return;
    QString compteRendu;
    Boite boite = Boite::Information;
    try {
        compteRendu = sauvegardes::compteRenduRestauration(sauvegardes::restaurer(s, b.file), kLignesMontrees);
    } catch (const db::DbError &e) {
        boite = Boite::Erreur;
        compteRendu = QStringLiteral("La restauration n'a pas été effectuée.") + QStringLiteral("\r")
                      + QStringLiteral("Erreur : ") + e.message();
    }
    // The restore date shows at once, whatever the box says.
    actualiser();
    s.ui.message(boite, compteRendu);
}

void TFRestauration::BtCompteRenduClick()
{
    const db::BackupInfo *b = selection();
    if (!b || b->report.isEmpty())
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(b->report)))
        s.ui.message(Boite::Erreur, QStringLiteral("Le compte rendu ") + QDir::toNativeSeparators(b->report)
                                        + QStringLiteral(" n'a pas pu être ouvert."));
}

-- The checker's detections and repairs, phase by phase, written set-based
-- for SQLite: what the run would cost if each phase were a few statements
-- over whole tables. run_bench runs each section (from one "-- phase N" line
-- to the next) in a transaction of its own and times it; what comes before
-- the first section is set-up and is not timed.
--
-- The dialogs are answered as the bench scripts them: the accounting of
-- unknown patient 4 goes to patient 10, every other unknown patient is
-- created as "Lefèvre Inès"; every unknown insurance body is created with the
-- dialog's proposals; small balances are cancelled by the billed amounts.
--
-- Rows are walked by the program in the order SQLite returns them without
-- ORDER BY, which for these tables is the order of their integer key: "first"
-- and "last" below mean the lowest and the highest key.
--
-- The journal rows go to temp.JOURNAL, one INSERT ... SELECT per kind of row.
-- Their texts carry the same facts as the program's, with amounts written by
-- SQLite's printf; they are counted, not compared.

CREATE TEMP TABLE JOURNAL (
    PATIENTS_ID INTEGER, DATE_CONSULTATION TEXT, MEDECINS_ID INTEGER,
    ORIGIN_TABLE TEXT, NIVEAU INTEGER, ACTION TEXT);

-- The bodies' snapshot of the start-up: the credit balances name the bodies
-- from it (and from those the dialogs add).
CREATE TEMP TABLE ORGANISMES AS SELECT CPOrg_ID, Nom, Ville FROM CPORG;

-- Columns of CPMAIN whose text is not empty: the duplicates keep the fuller record.
CREATE TEMP VIEW REMPLISSAGE AS SELECT CPMAIN_ID, PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID,
    (CPMAIN_ID IS NOT NULL AND CPMAIN_ID <> '') + (PATIENTS_ID IS NOT NULL AND PATIENTS_ID <> '')
  + (MEDECINS_ID IS NOT NULL AND MEDECINS_ID <> '') + (DATE_CONSULTATION IS NOT NULL AND DATE_CONSULTATION <> '')
  + (CodeActe1 IS NOT NULL AND CodeActe1 <> '') + (CodeActe2 IS NOT NULL AND CodeActe2 <> '')
  + (CodeActe3 IS NOT NULL AND CodeActe3 <> '') + (CodeActe4 IS NOT NULL AND CodeActe4 <> '')
  + (Tarif1 IS NOT NULL AND Tarif1 <> '') + (Tarif2 IS NOT NULL AND Tarif2 <> '')
  + (Tarif3 IS NOT NULL AND Tarif3 <> '') + (Tarif4 IS NOT NULL AND Tarif4 <> '')
  + (Montant1 IS NOT NULL AND Montant1 <> '') + (Montant2 IS NOT NULL AND Montant2 <> '')
  + (Montant3 IS NOT NULL AND Montant3 <> '') + (Montant4 IS NOT NULL AND Montant4 <> '')
  + (Km IS NOT NULL AND Km <> '') + (MontantKm IS NOT NULL AND MontantKm <> '')
  + (IndemniteDimanche IS NOT NULL AND IndemniteDimanche <> '') + (IndemniteNuit IS NOT NULL AND IndemniteNuit <> '')
  + (Payeur IS NOT NULL AND Payeur <> '') + (Paiement1 IS NOT NULL AND Paiement1 <> '')
  + (Paiement2 IS NOT NULL AND Paiement2 <> '') + (Mode1 IS NOT NULL AND Mode1 <> '')
  + (Mode2 IS NOT NULL AND Mode2 <> '') + (IDP1 IS NOT NULL AND IDP1 <> '')
  + (IDP2 IS NOT NULL AND IDP2 <> '') + (TiersPayant IS NOT NULL AND TiersPayant <> '')
  + (CPOrg_1_ID IS NOT NULL AND CPOrg_1_ID <> '') + (CPOrg_2_ID IS NOT NULL AND CPOrg_2_ID <> '')
  + (MontantTiersPayant1 IS NOT NULL AND MontantTiersPayant1 <> '') + (MontantTiersPayant2 IS NOT NULL AND MontantTiersPayant2 <> '')
  + (RegleTiersPayant1 IS NOT NULL AND RegleTiersPayant1 <> '') + (RegleTiersPayant2 IS NOT NULL AND RegleTiersPayant2 <> '')
  + (CPTrans_ID IS NOT NULL AND CPTrans_ID <> '') + (CPBanks_ID IS NOT NULL AND CPBanks_ID <> '')
  + (CPRem_ID IS NOT NULL AND CPRem_ID <> '') + (IndemniteVille IS NOT NULL AND IndemniteVille <> '')
  + (Taux1 IS NOT NULL AND Taux1 <> '') + (Taux2 IS NOT NULL AND Taux2 <> '')
  + (TarifSS1 IS NOT NULL AND TarifSS1 <> '') + (TarifSS2 IS NOT NULL AND TarifSS2 <> '')
  + (TarifSS3 IS NOT NULL AND TarifSS3 <> '') + (TarifSS4 IS NOT NULL AND TarifSS4 <> '')
  + (MontantSS1 IS NOT NULL AND MontantSS1 <> '') + (MontantSS2 IS NOT NULL AND MontantSS2 <> '')
  + (MontantSS3 IS NOT NULL AND MontantSS3 <> '') + (MontantSS4 IS NOT NULL AND MontantSS4 <> '')
  + (CPSVFact_ID IS NOT NULL AND CPSVFact_ID <> '') + (ID_TP1 IS NOT NULL AND ID_TP1 <> '')
  + (ID_TP2 IS NOT NULL AND ID_TP2 <> '') + (SVCodeActes IS NOT NULL AND SVCodeActes <> '')
  + (LabelActe1 IS NOT NULL AND LabelActe1 <> '') + (LabelActe2 IS NOT NULL AND LabelActe2 <> '')
  + (LabelActe3 IS NOT NULL AND LabelActe3 <> '') + (LabelActe4 IS NOT NULL AND LabelActe4 <> '')
  + (SVMontant IS NOT NULL AND SVMontant <> '') + (MONNAIE1 IS NOT NULL AND MONNAIE1 <> '')
  + (MONNAIE2 IS NOT NULL AND MONNAIE2 <> '') + (DepoDate IS NOT NULL AND DepoDate <> '') AS remplis
FROM CPMAIN;

-- phase 1: file numbers (N_OMON) that break the numbering rule
CREATE TEMP TABLE P1 AS
SELECT PATIENTS_ID, N_OMON,
       substr(coalesce(NOM, ''), 1, 1)
       || CASE WHEN length(PATIENTS_ID) < 6 THEN substr('000000', 1, 6 - length(PATIENTS_ID)) ELSE '' END
       || PATIENTS_ID AS attendu
FROM PATIENTS;
UPDATE PATIENTS SET N_OMON = (SELECT attendu FROM temp.P1 WHERE P1.PATIENTS_ID = PATIENTS.PATIENTS_ID)
WHERE PATIENTS_ID IN (SELECT PATIENTS_ID FROM temp.P1 WHERE coalesce(N_OMON, '') <> attendu);
INSERT INTO JOURNAL SELECT 0, '', 0, 'Liste des patients (PATIENTS)', 3,
    'Liste des patients : le champ N_OMON de la table PATIENTS a été corrigé pour ' || count(*) || ' dossiers.'
FROM temp.P1 WHERE coalesce(N_OMON, '') <> attendu HAVING count(*) > 0;
DROP TABLE temp.P1;

-- phase 2: empty first names become "Inconnu"
INSERT INTO JOURNAL SELECT 0, '', 0, 'Liste des patients (PATIENTS)', 3,
    'Liste des patients : le champ PRENOM de la table PATIENTS a été corrigé pour ' || count(*)
    || ' dossiers en y inscrivant la valeur ''Inconnu''.'
FROM PATIENTS WHERE coalesce(PRENOM, '') = '' HAVING count(*) > 0;
UPDATE PATIENTS SET PRENOM = 'Inconnu' WHERE coalesce(PRENOM, '') = '';

-- phase 3: placeholders for the physicians that patients name but MEDECINS lacks
CREATE TEMP TABLE P3 AS
SELECT DISTINCT MEDECINS_ID FROM PATIENTS WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS);
INSERT INTO MEDECINS (MEDECINS_ID, SYSTEM_FLAGS, MEDECINS_COMPTABLE_ID, NOM, PRENOM)
SELECT MEDECINS_ID, '*US PA CO CM AN', MEDECINS_ID, 'Médecin inconnu n°' || MEDECINS_ID, 'Ajustement Aldurix' FROM temp.P3;
UPDATE ID_VALUES SET LAST_VALUE = (SELECT max(MEDECINS_ID) FROM temp.P3)
WHERE upper(KEY_NAME) = 'MEDECINS_ID' AND LAST_VALUE < (SELECT max(MEDECINS_ID) FROM temp.P3);
INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE)
SELECT 'MEDECINS_ID', max(MEDECINS_ID) FROM temp.P3
WHERE NOT EXISTS (SELECT 1 FROM ID_VALUES WHERE upper(KEY_NAME) = 'MEDECINS_ID') HAVING count(*) > 0;
INSERT INTO JOURNAL SELECT 0, '', 0, 'Liste des médecins/utilisateurs (MEDECINS)', 2,
    'Création du médecin inconnu ' || MEDECINS_ID || ' dans la liste des médecins/utilisateurs.'
FROM temp.P3 ORDER BY MEDECINS_ID;
DROP TABLE temp.P3;

-- phase 4: accounting of physicians still unknown, journalled in full and deleted
CREATE TEMP TABLE P4 AS SELECT * FROM CPMAIN WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS);
INSERT INTO JOURNAL
SELECT c.PATIENTS_ID, c.DATE_CONSULTATION, c.MEDECINS_ID, 'Comptabilité (CPMAIN)', 2,
    'Médecin inconnu : l''enregistrement n°' || c.CPMAIN_ID || ' de la table comptabilité faisait référence à un médecin n°'
    || c.MEDECINS_ID || ' inconnu de la liste des médecins utilisateurs. Cet enregistrement a été supprimé.' || char(13)
    || 'Il contenait les informations suivantes :' || char(13)
    || '     - actes facturés : '
    || trim(coalesce(c.CodeActe1 || ' (' || printf('%.2f', c.Montant1) || ' ' || c.MONNAIE1 || ') ', '')
         || coalesce(c.CodeActe2 || ' (' || printf('%.2f', c.Montant2) || ' ' || c.MONNAIE1 || ') ', '')
         || coalesce(c.CodeActe3 || ' (' || printf('%.2f', c.Montant3) || ' ' || c.MONNAIE1 || ') ', '')
         || coalesce(c.CodeActe4 || ' (' || printf('%.2f', c.Montant4) || ' ' || c.MONNAIE1 || ')', '')) || char(13)
    || CASE WHEN coalesce(c.Paiement1, 0) > 0 THEN
         CASE WHEN coalesce(c.Paiement2, 0) > 0 AND c.Mode1 IS c.Mode2
              THEN '     - paiements du patient : ' || (c.Paiement1 + c.Paiement2) || '€ payés en ' || c.Mode1 || char(13)
              WHEN coalesce(c.Paiement2, 0) > 0
              THEN '     - paiements du patient : ' || printf('%.2f', c.Paiement1) || ' EUR payés en ' || c.Mode1
                   || ' et ' || printf('%.2f', c.Paiement2) || ' EUR payés en ' || c.Mode2 || char(13)
              ELSE '     - paiement du patient : ' || c.Paiement1 || '€ payés en ' || c.Mode1 || char(13) END
       ELSE '' END
    || CASE WHEN coalesce(c.MontantTiersPayant1, 0) > 0 THEN
         '     - paiement de la caisse principale : ' || c.MontantTiersPayant1
         || coalesce('€ ont été facturés à la caisse ' || o1.Nom || '(' || o1.Ville || ').',
                     '€ ont été facturés à la caisse n°' || c.CPOrg_1_ID || ' (inconnue pour l''instant).')
         || CASE WHEN coalesce(c.RegleTiersPayant1, 0) > 0 THEN ' Cette caisse a déjà versé ' || c.RegleTiersPayant1 || '€.' ELSE '' END
         || char(13)
       ELSE '' END
    || CASE WHEN coalesce(c.MontantTiersPayant2, 0) > 0 THEN
         '     - paiement de la caisse complémentaire : ' || c.MontantTiersPayant2
         || coalesce('€ ont été facturés à la caisse ' || o2.Nom || '(' || o2.Ville || ').',
                     '€ ont été facturés à la caisse n°' || c.CPOrg_2_ID || ' (inconnue pour l''instant).')
         || CASE WHEN coalesce(c.RegleTiersPayant2, 0) > 0 THEN ' Cette caisse a déjà versé ' || c.RegleTiersPayant2 || '€.' ELSE '' END
         || char(13)
       ELSE '' END
    || CASE WHEN c.CPSVFact_ID >= 1 THEN '     - une feuille de soins électronique n°' || c.CPSVFact_ID || ' a été effectuée.' ELSE '' END
FROM temp.P4 c
LEFT JOIN temp.ORGANISMES o1 ON o1.CPOrg_ID = c.CPOrg_1_ID
LEFT JOIN temp.ORGANISMES o2 ON o2.CPOrg_ID = c.CPOrg_2_ID
ORDER BY c.MEDECINS_ID, c.DATE_CONSULTATION, c.PATIENTS_ID, c.CPMAIN_ID;
DELETE FROM CPMAIN WHERE CPMAIN_ID IN (SELECT CPMAIN_ID FROM temp.P4);
DROP TABLE temp.P4;

-- phase 5: accounting rows without any amount
INSERT INTO JOURNAL SELECT 0, '', 0, 'Comptabilité (CPMAIN)', 3,
    count(*) || ' enregistrements vides ont été supprimés dans la table de la comptabilité.'
FROM CPMAIN WHERE MONTANT1 IS NULL AND MONTANT2 IS NULL AND MONTANT3 IS NULL AND MONTANT4 IS NULL
  AND PAIEMENT1 IS NULL AND PAIEMENT2 IS NULL AND REGLETIERSPAYANT1 IS NULL AND REGLETIERSPAYANT2 IS NULL
HAVING count(*) > 0;
DELETE FROM CPMAIN WHERE MONTANT1 IS NULL AND MONTANT2 IS NULL AND MONTANT3 IS NULL AND MONTANT4 IS NULL
  AND PAIEMENT1 IS NULL AND PAIEMENT2 IS NULL AND REGLETIERSPAYANT1 IS NULL AND REGLETIERSPAYANT2 IS NULL;

-- phase 6: tiers-payant statements without insurance body
INSERT INTO JOURNAL SELECT 0, '', 0, 'Suivi des tiers payants (CPORDPAY)', 3,
    count(*) || ' enregistrements vides ont été supprimés dans la table du suivi des réglements des tiers payants (CPORDPAY).'
FROM CPORDPAY WHERE CPOrg_ID IS NULL HAVING count(*) > 0;
DELETE FROM CPORDPAY WHERE CPOrg_ID IS NULL;

-- phase 7: settlement lines of missing statements, one journal row per statement
INSERT INTO JOURNAL
SELECT 0, '', 0, 'Ventilation des tiers payants (CPGEST)', 2,
    'Ventilation du suivi des règlements des tiers payants : la table CPGest contient des enregistrements faisant '
    || 'référence à un relevé de tiers payant inexistant dans la table CPOrdPay. Actions menées :' || char(13)
    || group_concat('   - suppression de l''enregistrement n°' || CPGest_ID || ' d''un montant de '
                    || printf('%.2f', Montant) || ' EUR et faisant référence à l''enregistrement n°' || CPMain_ID
                    || ' de la table de la comptabilité (CPMAIN)' || char(13), '')
FROM (SELECT * FROM CPGEST WHERE CPOrdpay_ID NOT IN (SELECT CPORDPAY_ID FROM CPORDPAY) ORDER BY CPOrdpay_ID, CPGest_ID)
GROUP BY CPOrdpay_ID ORDER BY CPOrdpay_ID;
DELETE FROM CPGEST WHERE CPOrdpay_ID NOT IN (SELECT CPORDPAY_ID FROM CPORDPAY);

-- phase 8: references to missing care sheets are cleared
CREATE TEMP TABLE P8 AS SELECT CPMAIN_ID FROM CPMAIN c
WHERE CPSVFact_ID IS NOT NULL AND NOT EXISTS (SELECT 1 FROM CPSVFACT f WHERE f.CPSVFact_ID = c.CPSVFact_ID);
INSERT INTO JOURNAL SELECT 0, '', 0, 'Comptabilité (CPMAIN)', 3,
    'FSE inconnues : ' || count(*) || ' enregistrements de CPMAin mentionnaient des FSE inexistantes dans CPSVFact. '
    || 'Cette information a été annulée.'
FROM temp.P8 HAVING count(*) > 0;
UPDATE CPMAIN SET CPSVFact_ID = NULL WHERE CPMAIN_ID IN (SELECT CPMAIN_ID FROM temp.P8);
DROP TABLE temp.P8;

-- phase 9: duplicates (same patient, date and physician): each record is
-- compared with the one kept so far and the one with fewer filled columns
-- goes (the later one on a tie), so a group ends with its first fullest
-- record; one journal row per comparison
CREATE TEMP TABLE P9 AS
SELECT CPMAIN_ID AS supprime, PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID
FROM (SELECT r.*, first_value(CPMAIN_ID) OVER (PARTITION BY PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID
                                                ORDER BY remplis DESC, CPMAIN_ID) AS garde
      FROM temp.REMPLISSAGE r
      WHERE (PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID) IN
            (SELECT PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID FROM CPMAIN
             GROUP BY PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID HAVING count(*) > 1))
WHERE CPMAIN_ID <> garde;
INSERT INTO JOURNAL
SELECT PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, 'Comptabilité (CPMAIN)', 3,
    'Enregistrement en double : l''enregistrement n°' || supprime || ' figure en double dans la comptabilité. '
    || 'Cela génère des éditions comptables éronnées. Cet enregistrement a été supprimé.'
FROM temp.P9 ORDER BY PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID;
DELETE FROM CPMAIN WHERE CPMAIN_ID IN (SELECT supprime FROM temp.P9);
DROP TABLE temp.P9;

-- phase 10: accounting without patient goes; the unknown patients are
-- settled as the dialog is answered: 4 is attached to patient 10, every
-- other one is created
DELETE FROM CPMAIN WHERE PATIENTS_ID IS NULL;
CREATE TEMP TABLE INCONNUS AS
SELECT PATIENTS_ID AS U, CASE WHEN PATIENTS_ID = 4 THEN 10 END AS P, min(CPMAIN_ID) AS premiere
FROM CPMAIN WHERE PATIENTS_ID NOT IN (SELECT PATIENTS_ID FROM PATIENTS) GROUP BY PATIENTS_ID;
-- Attachment: a source row meets the first row of the chosen patient with the
-- same physician, date and time, and is merged into it field by field.
CREATE TEMP TABLE FUSIONS AS
SELECT r.CPMAIN_ID AS source, (SELECT min(t.CPMAIN_ID) FROM CPMAIN t WHERE t.PATIENTS_ID = i.P
        AND t.MEDECINS_ID = r.MEDECINS_ID AND t.DATE_CONSULTATION = r.DATE_CONSULTATION) AS cible, i.U, i.P
FROM temp.INCONNUS i JOIN CPMAIN r ON r.PATIENTS_ID = i.U WHERE i.P IS NOT NULL;
INSERT INTO JOURNAL
SELECT f.U, r.DATE_CONSULTATION, (SELECT MEDECINS_ID FROM CPMAIN WHERE CPMAIN_ID = i.premiere), 'Comptabilité', 2,
    'Transfert de comptabilité : la comptabilité du patient n°' || f.U || ' pour la consultation du ' || r.DATE_CONSULTATION
    || ' a été transférée sur le dossier ' || (SELECT upper(NOM) || ' ' || PRENOM FROM PATIENTS WHERE PATIENTS_ID = f.P)
FROM temp.FUSIONS f JOIN CPMAIN r ON r.CPMAIN_ID = f.source JOIN temp.INCONNUS i ON i.U = f.U ORDER BY f.source;
UPDATE CPMAIN AS t SET
    CodeActe1 = CASE WHEN coalesce(r.CodeActe1, '') <> '' THEN CASE WHEN coalesce(t.CodeActe1, '') <> '' THEN t.CodeActe1 || ' + ' || r.CodeActe1 ELSE r.CodeActe1 END ELSE t.CodeActe1 END,
    CodeActe2 = CASE WHEN coalesce(r.CodeActe2, '') <> '' THEN CASE WHEN coalesce(t.CodeActe2, '') <> '' THEN t.CodeActe2 || ' + ' || r.CodeActe2 ELSE r.CodeActe2 END ELSE t.CodeActe2 END,
    CodeActe3 = CASE WHEN coalesce(r.CodeActe3, '') <> '' THEN CASE WHEN coalesce(t.CodeActe3, '') <> '' THEN t.CodeActe3 || ' + ' || r.CodeActe3 ELSE r.CodeActe3 END ELSE t.CodeActe3 END,
    CodeActe4 = CASE WHEN coalesce(r.CodeActe4, '') <> '' THEN CASE WHEN coalesce(t.CodeActe4, '') <> '' THEN t.CodeActe4 || ' + ' || r.CodeActe4 ELSE r.CodeActe4 END ELSE t.CodeActe4 END,
    Tarif1 = CASE WHEN coalesce(r.Tarif1, 0) > 0 THEN CASE WHEN coalesce(t.Tarif1, 0) > 0 THEN t.Tarif1 + r.Tarif1 ELSE r.Tarif1 END ELSE t.Tarif1 END,
    Tarif2 = CASE WHEN coalesce(r.Tarif2, 0) > 0 THEN coalesce(t.Tarif2, 0) + r.Tarif2 ELSE t.Tarif2 END,
    Tarif3 = CASE WHEN coalesce(r.Tarif3, 0) > 0 THEN coalesce(t.Tarif3, 0) + r.Tarif3 ELSE t.Tarif3 END,
    Tarif4 = CASE WHEN coalesce(r.Tarif4, 0) > 0 THEN coalesce(t.Tarif4, 0) + r.Tarif4 ELSE t.Tarif4 END,
    Montant1 = CASE WHEN coalesce(r.Montant1, 0) > 0 THEN coalesce(t.Montant1, 0) + r.Montant1 ELSE t.Montant1 END,
    Montant2 = CASE WHEN coalesce(r.Montant2, 0) > 0 THEN coalesce(t.Montant2, 0) + r.Montant2 ELSE t.Montant2 END,
    Montant3 = CASE WHEN coalesce(r.Montant3, 0) > 0 THEN coalesce(t.Montant3, 0) + r.Montant3 ELSE t.Montant3 END,
    Montant4 = CASE WHEN coalesce(r.Montant4, 0) > 0 THEN coalesce(t.Montant4, 0) + r.Montant4 ELSE t.Montant4 END,
    Km = CASE WHEN coalesce(r.Km, 0) > 0 THEN coalesce(t.Km, 0) + r.Km ELSE t.Km END,
    MontantKm = CASE WHEN coalesce(r.MontantKm, 0) > 0 THEN coalesce(t.MontantKm, 0) + r.MontantKm ELSE t.MontantKm END,
    IndemniteDimanche = CASE WHEN coalesce(r.IndemniteDimanche, 0) > 0 THEN coalesce(t.IndemniteDimanche, 0) + r.IndemniteDimanche ELSE t.IndemniteDimanche END,
    IndemniteNuit = CASE WHEN coalesce(r.IndemniteNuit, 0) > 0 THEN coalesce(t.IndemniteNuit, 0) + r.IndemniteNuit ELSE t.IndemniteNuit END,
    Payeur = CASE WHEN coalesce(r.Payeur, '') <> '' THEN CASE WHEN coalesce(t.Payeur, '') <> '' THEN t.Payeur || ' + ' || r.Payeur ELSE r.Payeur END ELSE t.Payeur END,
    Paiement1 = CASE WHEN coalesce(r.Paiement1, 0) > 0 THEN coalesce(t.Paiement1, 0) + r.Paiement1 ELSE t.Paiement1 END,
    Paiement2 = CASE WHEN coalesce(r.Paiement2, 0) > 0 THEN coalesce(t.Paiement2, 0) + r.Paiement2 ELSE t.Paiement2 END,
    Mode1 = CASE WHEN coalesce(r.Mode1, '') <> '' AND coalesce(t.Mode1, '') = '' THEN r.Mode1 ELSE t.Mode1 END,
    Mode2 = CASE WHEN coalesce(r.Mode2, '') <> '' AND coalesce(t.Mode2, '') = '' THEN r.Mode2 ELSE t.Mode2 END,
    IDP1 = CASE WHEN coalesce(r.IDP1, '') <> '' THEN CASE WHEN coalesce(t.IDP1, '') <> '' THEN t.IDP1 || ' / ' || r.IDP1 ELSE r.IDP1 END ELSE t.IDP1 END,
    IDP2 = CASE WHEN coalesce(r.IDP2, '') <> '' THEN CASE WHEN coalesce(t.IDP2, '') <> '' THEN t.IDP2 || ' / ' || r.IDP2 ELSE r.IDP2 END ELSE t.IDP2 END,
    TiersPayant = CASE WHEN coalesce(r.TiersPayant, 0) <> 0 AND coalesce(t.TiersPayant, 0) = 0 THEN 1 ELSE t.TiersPayant END,
    CPOrg_1_ID = CASE WHEN r.CPOrg_1_ID IS NOT NULL AND t.CPOrg_1_ID IS NULL THEN r.CPOrg_1_ID ELSE t.CPOrg_1_ID END,
    CPOrg_2_ID = CASE WHEN r.CPOrg_2_ID IS NOT NULL AND t.CPOrg_2_ID IS NULL THEN r.CPOrg_2_ID ELSE t.CPOrg_2_ID END,
    MontantTiersPayant1 = CASE WHEN coalesce(r.MontantTiersPayant1, 0) > 0 THEN coalesce(t.MontantTiersPayant1, 0) + r.MontantTiersPayant1 ELSE t.MontantTiersPayant1 END,
    MontantTiersPayant2 = CASE WHEN coalesce(r.MontantTiersPayant2, 0) > 0 THEN coalesce(t.MontantTiersPayant2, 0) + r.MontantTiersPayant2 ELSE t.MontantTiersPayant2 END,
    RegleTiersPayant1 = CASE WHEN coalesce(r.RegleTiersPayant1, 0) > 0 THEN coalesce(t.RegleTiersPayant1, 0) + r.RegleTiersPayant1 ELSE t.RegleTiersPayant1 END,
    RegleTiersPayant2 = CASE WHEN coalesce(r.RegleTiersPayant2, 0) > 0 THEN coalesce(t.RegleTiersPayant2, 0) + r.RegleTiersPayant2 ELSE t.RegleTiersPayant2 END,
    CPTrans_ID = CASE WHEN r.CPTrans_ID IS NOT NULL AND t.CPTrans_ID IS NULL THEN r.CPTrans_ID ELSE t.CPTrans_ID END,
    CPBanks_ID = CASE WHEN r.CPBanks_ID IS NOT NULL AND t.CPBanks_ID IS NULL THEN r.CPBanks_ID ELSE t.CPBanks_ID END,
    CPRem_ID = CASE WHEN r.CPRem_ID IS NOT NULL AND t.CPRem_ID IS NULL THEN r.CPRem_ID ELSE t.CPRem_ID END,
    IndemniteVille = CASE WHEN coalesce(r.IndemniteVille, 0) > 0 THEN coalesce(t.IndemniteVille, 0) + r.IndemniteVille ELSE t.IndemniteVille END,
    Taux1 = CASE WHEN r.Taux1 IS NOT NULL AND t.Taux1 IS NULL THEN r.Taux1 ELSE t.Taux1 END,
    Taux2 = CASE WHEN r.Taux2 IS NOT NULL AND t.Taux2 IS NULL THEN r.Taux2 ELSE t.Taux2 END,
    TarifSS1 = CASE WHEN coalesce(r.TarifSS1, 0) > 0 THEN coalesce(t.TarifSS1, 0) + r.TarifSS1 ELSE t.TarifSS1 END,
    TarifSS2 = CASE WHEN coalesce(r.TarifSS2, 0) > 0 THEN coalesce(t.TarifSS2, 0) + r.TarifSS2 ELSE t.TarifSS2 END,
    TarifSS3 = CASE WHEN coalesce(r.TarifSS3, 0) > 0 THEN coalesce(t.TarifSS3, 0) + r.TarifSS3 ELSE t.TarifSS3 END,
    TarifSS4 = CASE WHEN coalesce(r.TarifSS4, 0) > 0 THEN coalesce(t.TarifSS4, 0) + r.TarifSS4 ELSE t.TarifSS4 END,
    MontantSS1 = CASE WHEN coalesce(r.MontantSS1, 0) > 0 THEN coalesce(t.MontantSS1, 0) + r.MontantSS1 ELSE t.MontantSS1 END,
    MontantSS2 = CASE WHEN coalesce(r.MontantSS2, 0) > 0 THEN coalesce(t.MontantSS2, 0) + r.MontantSS2 ELSE t.MontantSS2 END,
    MontantSS3 = CASE WHEN coalesce(r.MontantSS3, 0) > 0 THEN coalesce(t.MontantSS3, 0) + r.MontantSS3 ELSE t.MontantSS3 END,
    MontantSS4 = CASE WHEN coalesce(r.MontantSS4, 0) > 0 THEN coalesce(t.MontantSS4, 0) + r.MontantSS4 ELSE t.MontantSS4 END,
    CPSVFact_ID = CASE WHEN r.CPSVFact_ID IS NOT NULL AND t.CPSVFact_ID IS NULL THEN r.CPSVFact_ID ELSE t.CPSVFact_ID END,
    ID_TP1 = CASE WHEN coalesce(r.ID_TP1, '') <> '' THEN CASE WHEN coalesce(t.ID_TP1, '') <> '' THEN t.ID_TP1 || ' + ' || r.ID_TP1 ELSE r.ID_TP1 END ELSE t.ID_TP1 END,
    ID_TP2 = CASE WHEN coalesce(r.ID_TP2, '') <> '' THEN CASE WHEN coalesce(t.ID_TP2, '') <> '' THEN t.ID_TP2 || ' + ' || r.ID_TP2 ELSE r.ID_TP2 END ELSE t.ID_TP2 END,
    SVCodeActes = CASE WHEN coalesce(r.SVCodeActes, '') <> '' THEN CASE WHEN coalesce(t.SVCodeActes, '') <> '' THEN t.SVCodeActes || '@' || r.SVCodeActes ELSE r.SVCodeActes END ELSE t.SVCodeActes END,
    LabelActe1 = CASE WHEN coalesce(r.LabelActe1, '') <> '' THEN CASE WHEN coalesce(t.LabelActe1, '') <> '' THEN t.LabelActe1 || ' + ' || r.LabelActe1 ELSE r.LabelActe1 END ELSE t.LabelActe1 END,
    LabelActe2 = CASE WHEN coalesce(r.LabelActe2, '') <> '' THEN CASE WHEN coalesce(t.LabelActe2, '') <> '' THEN t.LabelActe2 || ' + ' || r.LabelActe2 ELSE r.LabelActe2 END ELSE t.LabelActe2 END,
    LabelActe3 = CASE WHEN coalesce(r.LabelActe3, '') <> '' THEN CASE WHEN coalesce(t.LabelActe3, '') <> '' THEN t.LabelActe3 || ' + ' || r.LabelActe3 ELSE r.LabelActe3 END ELSE t.LabelActe3 END,
    LabelActe4 = CASE WHEN coalesce(r.LabelActe4, '') <> '' THEN CASE WHEN coalesce(t.LabelActe4, '') <> '' THEN t.LabelActe4 || ' + ' || r.LabelActe4 ELSE r.LabelActe4 END ELSE t.LabelActe4 END,
    SVMontant = CASE WHEN r.SVMontant IS NOT NULL AND t.SVMontant IS NULL THEN r.SVMontant ELSE t.SVMontant END,
    MONNAIE1 = CASE WHEN coalesce(r.MONNAIE1, '') <> '' AND coalesce(t.MONNAIE1, '') = '' THEN r.MONNAIE1 ELSE t.MONNAIE1 END,
    MONNAIE2 = CASE WHEN coalesce(r.MONNAIE2, '') <> '' AND coalesce(t.MONNAIE2, '') = '' THEN r.MONNAIE2 ELSE t.MONNAIE2 END
FROM temp.FUSIONS f JOIN CPMAIN r ON r.CPMAIN_ID = f.source
WHERE t.CPMAIN_ID = f.cible;
DELETE FROM CPMAIN WHERE CPMAIN_ID IN (SELECT source FROM temp.FUSIONS WHERE cible IS NOT NULL);
UPDATE CPMAIN SET PATIENTS_ID = (SELECT P FROM temp.FUSIONS WHERE source = CPMAIN_ID)
WHERE CPMAIN_ID IN (SELECT source FROM temp.FUSIONS WHERE cible IS NULL);
-- Creation: the patient takes the unknown number, the physician of its first
-- accounting row, and a file number from the name.
INSERT INTO PATIENTS (PATIENTS_ID, N_OMON, PRENOM, NOM, MEDECINS_ID)
SELECT i.U, 'L' || CASE WHEN length(i.U) < 6 THEN substr('000000', 1, 6 - length(i.U)) ELSE '' END || i.U,
       'Inès', upper('Lefèvre'), c.MEDECINS_ID
FROM temp.INCONNUS i JOIN CPMAIN c ON c.CPMAIN_ID = i.premiere WHERE i.P IS NULL;
INSERT INTO JOURNAL
SELECT i.U, c.DATE_CONSULTATION, c.MEDECINS_ID, 'Patients', 2,
    'Création du patient n°' || i.U || ' ' || upper('Lefèvre') || ' Inès'
FROM temp.INCONNUS i JOIN CPMAIN c ON c.CPMAIN_ID = i.premiere WHERE i.P IS NULL;
-- Consultations for every accounting date of the settled patients that has
-- none, numbered from the counter in the order the dialogs create them:
-- patient by patient, the created patient's first row first, then the rows.
CREATE TEMP TABLE CONSULTATIONS (n INTEGER PRIMARY KEY, PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID);
INSERT INTO CONSULTATIONS (PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID)
SELECT patient, DATE_CONSULTATION, MEDECINS_ID FROM (
    SELECT coalesce(i.P, i.U) AS patient, c.DATE_CONSULTATION, c.MEDECINS_ID, i.U AS u,
           CASE WHEN c.CPMAIN_ID = i.premiere AND i.P IS NULL THEN 0 ELSE 1 END AS etape, c.CPMAIN_ID
    FROM temp.INCONNUS i JOIN CPMAIN c ON c.PATIENTS_ID = coalesce(i.P, i.U)
    WHERE NOT EXISTS (SELECT 1 FROM MOTCONSU m WHERE m.PATIENTS_ID = c.PATIENTS_ID AND m.DATE_CONSULTATION = c.DATE_CONSULTATION)
      AND c.CPMAIN_ID = (SELECT min(d.CPMAIN_ID) FROM CPMAIN d WHERE d.PATIENTS_ID = c.PATIENTS_ID
                         AND d.DATE_CONSULTATION = c.DATE_CONSULTATION)
    ORDER BY u, etape, c.CPMAIN_ID);
INSERT INTO MOTCONSU (MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION, MOTIF_DE_CONSULTATION, MEDECINS_ID)
SELECT coalesce((SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME = 'MOTCONSU'), 0) + n, PATIENTS_ID, DATE_CONSULTATION,
       'Ajustement de la comptabilité.', MEDECINS_ID
FROM temp.CONSULTATIONS;
UPDATE ID_VALUES SET LAST_VALUE = LAST_VALUE + (SELECT count(*) FROM temp.CONSULTATIONS)
WHERE KEY_NAME = 'MOTCONSU' AND EXISTS (SELECT 1 FROM temp.CONSULTATIONS);
-- The attached patient's other data follows it, table by table.
UPDATE MOTCONSU SET PATIENTS_ID = (SELECT P FROM temp.INCONNUS WHERE U = PATIENTS_ID)
WHERE PATIENTS_ID IN (SELECT U FROM temp.INCONNUS WHERE P IS NOT NULL);
UPDATE CPSVFACT SET Patients_ID = (SELECT P FROM temp.INCONNUS WHERE U = Patients_ID)
WHERE Patients_ID IN (SELECT U FROM temp.INCONNUS WHERE P IS NOT NULL);
UPDATE COURRIER SET PATIENTS_ID = (SELECT P FROM temp.INCONNUS WHERE U = PATIENTS_ID)
WHERE PATIENTS_ID IN (SELECT U FROM temp.INCONNUS WHERE P IS NOT NULL);
UPDATE ORDONNANCE SET PATIENTS_ID = (SELECT P FROM temp.INCONNUS WHERE U = PATIENTS_ID)
WHERE PATIENTS_ID IN (SELECT U FROM temp.INCONNUS WHERE P IS NOT NULL);
UPDATE ANTECEDENTS SET Patients_ID = (SELECT P FROM temp.INCONNUS WHERE U = Patients_ID)
WHERE Patients_ID IN (SELECT U FROM temp.INCONNUS WHERE P IS NOT NULL);

-- phase 11: care sheets of patients unknown to the snapshot (which by now is
-- PATIENTS: the snapshot plus the patients just created)
INSERT INTO JOURNAL
SELECT Patients_ID, '', 0, 'Patient de la FSE inconnu (CPSVFACT)', 2,
    'Patient de la FSE inconnu : le programme a supprimé la FSE n°' || CPSVFact_ID
    || ' qui faisait référence à un dossier patient n°' || coalesce(Patients_ID, 0) || ' qui n''existe pas.'
FROM CPSVFACT WHERE coalesce(Patients_ID, 0) NOT IN (SELECT PATIENTS_ID FROM PATIENTS) ORDER BY CPSVFact_ID;
DELETE FROM CPSVFACT WHERE coalesce(Patients_ID, 0) NOT IN (SELECT PATIENTS_ID FROM PATIENTS);

-- phase 12: missing transfers, dated at their latest consultation, for their highest physician
CREATE TEMP TABLE P12 AS
SELECT CPTrans_ID,
       coalesce(substr(max(DATE_CONSULTATION), 1, 10), '1899-12-30') || ' 00:00:00' AS jour,
       coalesce(max(MEDECINS_ID), 0) AS medecin
FROM CPMAIN WHERE CPTrans_ID IS NOT NULL AND CPTrans_ID NOT IN (SELECT CPTrans_ID FROM CPTRANS) GROUP BY CPTrans_ID;
INSERT INTO CPTRANS (CPTrans_ID, Medecins_ID, CPTRANS_DATE) SELECT CPTrans_ID, medecin, jour FROM temp.P12;
INSERT INTO JOURNAL SELECT 0, jour, medecin, 'Transfert AG2035 (CPTRANS)', 2,
    'Transfert AG2035 inconnu : le programme a créé le transfert AG2035 n°' || CPTrans_ID
    || ' à partir des données de la table de comptabilité (CPMAIN). Ce transfert est daté au ' || substr(jour, 1, 10) || '. '
FROM temp.P12 ORDER BY CPTrans_ID;
DROP TABLE temp.P12;

-- phase 13: missing deposits named by the accounting: the date of the first
-- record, the physician of the last and its "Banque 1", the cheques summed to
-- the cent (the program adds amounts as decimals)
CREATE TEMP TABLE P13 AS
SELECT g.CPRem_ID, substr(f.DATE_CONSULTATION, 1, 10) || ' 00:00:00' AS jour, g.montant, l.MEDECINS_ID AS medecin,
       g.qte, coalesce(b.Name, '') AS banque, coalesce(b.CPBanks_ID, 0) AS banque_id
FROM (SELECT CPRem_ID, count(*) AS qte, min(CPMAIN_ID) AS premier, max(CPMAIN_ID) AS dernier,
             round(total(CASE WHEN upper(Mode1) = 'CHEQUE' THEN Paiement1 ELSE 0 END
                         + CASE WHEN upper(Mode2) = 'CHEQUE' THEN Paiement2 ELSE 0 END), 6) AS montant
      FROM CPMAIN WHERE CPRem_ID IS NOT NULL AND CPRem_ID NOT IN (SELECT CPRem_ID FROM CPREM)
      GROUP BY CPRem_ID) g
JOIN CPMAIN f ON f.CPMAIN_ID = g.premier
JOIN CPMAIN l ON l.CPMAIN_ID = g.dernier
LEFT JOIN CPBANKS b ON b.CPBanks_ID = (SELECT min(CPBanks_ID) FROM CPBANKS WHERE Medecins_ID = l.MEDECINS_ID AND Label = 'Banque 1');
INSERT INTO CPREM (CPRem_ID, DATE_CONSULTATION, Montant, Medecins_ID, Qte, Banque, CPBanks_ID, Patient)
SELECT CPRem_ID, jour, montant, medecin, qte, banque, banque_id, 0 FROM temp.P13;
INSERT INTO JOURNAL SELECT 0, jour, medecin, 'Remises de chèques (CPREM)', 2,
    'Remise de chèques inconnue : le programme a créé la remise de chèque n°' || CPRem_ID
    || ' à partir des données de la table de comptabilité (CPMAIN). Cette remise de chèques est datée au ' || substr(jour, 1, 10)
    || ', elle contient ' || qte || ' chèques pour un montant total de ' || printf('%.2f', montant) || ' EUR. '
FROM temp.P13;
DROP TABLE temp.P13;

-- phase 14: missing deposits named by the follow-up: date, physician and bank
-- of the first statement, the cheque statements summed
CREATE TEMP TABLE P14 AS
SELECT g.CPRem_ID, substr(f.P_DATE, 1, 10) || ' 00:00:00' AS jour, g.montant, coalesce(b.Name, '') AS banque,
       f.Bank AS banque_id, f.MEDECINS_ID AS medecin, g.qte
FROM (SELECT CPRem_ID, count(*) AS qte, min(CPORDPAY_ID) AS premier,
             round(total(CASE WHEN Cheque THEN PayeSum ELSE 0 END), 6) AS montant
      FROM CPORDPAY WHERE CPRem_ID IS NOT NULL AND CPRem_ID NOT IN (SELECT CPRem_ID FROM CPREM)
      GROUP BY CPRem_ID) g
JOIN CPORDPAY f ON f.CPORDPAY_ID = g.premier
LEFT JOIN CPBANKS b ON b.CPBanks_ID = f.Bank;
INSERT INTO CPREM (CPRem_ID, DATE_CONSULTATION, Montant, Banque, CPBanks_ID, Medecins_ID, Patient, Qte)
SELECT CPRem_ID, jour, montant, banque, banque_id, medecin, 0, qte FROM temp.P14;
INSERT INTO JOURNAL SELECT 0, jour, medecin, 'Remises de chèques (CPREM)', 2,
    'Remise de chèques inconnue : le programme a créé la remise de chèque n°' || CPRem_ID
    || ' à partir des données du suivi des tiers payants (CPORDPAY). Cette remise de chèques est datée au ' || substr(jour, 1, 10)
    || ', elle contient ' || qte || ' chèques pour un montant total de ' || printf('%.2f', montant) || ' EUR. '
FROM temp.P14;
DROP TABLE temp.P14;

-- phase 15: missing principal bodies, created with the dialog's proposals
CREATE TEMP TABLE CAISSES (CPOrg_ID INTEGER, princ INTEGER, taux REAL);
INSERT INTO CAISSES SELECT DISTINCT CPOrg_1_ID, 1, 70 FROM CPMAIN
WHERE CPOrg_1_ID IS NOT NULL AND CPOrg_1_ID NOT IN (SELECT CPOrg_ID FROM CPORG);
INSERT INTO CPORG (CPOrg_ID, Organisme, Adresse, CP, Ville, Telephone, Fax, Princ, TauxDef, Nom, BaseRemb, Comments)
SELECT CPOrg_ID, 'CI_' || CPOrg_ID, '', '', '', '              ', '              ', princ, taux,
       'Caisse inconnue n°' || CPOrg_ID, 'Tarif SS', ''
FROM temp.CAISSES;

-- phase 16: missing complementary bodies
DELETE FROM temp.CAISSES;
INSERT INTO CAISSES SELECT DISTINCT CPOrg_2_ID, 0, 100 FROM CPMAIN
WHERE CPOrg_2_ID IS NOT NULL AND CPOrg_2_ID NOT IN (SELECT CPOrg_ID FROM CPORG);
INSERT INTO CPORG (CPOrg_ID, Organisme, Adresse, CP, Ville, Telephone, Fax, Princ, TauxDef, Nom, BaseRemb, Comments)
SELECT CPOrg_ID, 'CI_' || CPOrg_ID, '', '', '', '              ', '              ', princ, taux,
       'Caisse inconnue n°' || CPOrg_ID, 'Tarif SS', ''
FROM temp.CAISSES;

-- phase 17: missing bodies of the follow-up; principal when some accounting
-- row has them as principal body
DELETE FROM temp.CAISSES;
INSERT INTO CAISSES
SELECT DISTINCT o.CPOrg_ID, EXISTS (SELECT 1 FROM CPMAIN c WHERE c.CPOrg_1_ID = o.CPOrg_ID),
       CASE WHEN EXISTS (SELECT 1 FROM CPMAIN c WHERE c.CPOrg_1_ID = o.CPOrg_ID) THEN 70 ELSE 100 END
FROM CPORDPAY o WHERE o.CPOrg_ID IS NOT NULL AND o.CPOrg_ID NOT IN (SELECT CPOrg_ID FROM CPORG);
INSERT INTO CPORG (CPOrg_ID, Organisme, Adresse, CP, Ville, Telephone, Fax, Princ, TauxDef, Nom, BaseRemb, Comments)
SELECT CPOrg_ID, 'CI_' || CPOrg_ID, '', '', '', '              ', '              ', princ, taux,
       'Caisse inconnue n°' || CPOrg_ID, 'Tarif SS', ''
FROM temp.CAISSES;
INSERT INTO temp.ORGANISMES SELECT CPOrg_ID, Organisme, Ville FROM CPORG WHERE CPOrg_ID NOT IN (SELECT CPOrg_ID FROM temp.ORGANISMES);
INSERT INTO JOURNAL
SELECT NULL, NULL, NULL, 'Liste des tiers payant', 1,
    'Création d''un tiers payant : la comptabilité faisait référence à une caisse n°' || CPOrg_ID || ' qui n''existait pas.'
    || char(13) || 'Le programme a créé cette caisse avec les données suivantes :' || char(13)
    || '        - Code : ' || Organisme || char(13) || '        - Nom : ' || Nom || char(13)
    || '        - Adresse : ' || char(13) || '        - CP : ' || char(13) || '        - Ville : ' || char(13)
    || '        - Téléphone : ' || Telephone || char(13) || '        - Fax : ' || Fax || char(13)
    || '        - Taux de remboursement par défaut : ' || CAST(TauxDef AS INTEGER) || '%' || char(13)
    || '        - Commentaires : '
FROM CPORG WHERE Organisme LIKE 'CI\_%' ESCAPE '\';

-- phase 18: balances under one cent cancelled by the billed amounts
INSERT INTO JOURNAL SELECT 0, '', 0, 'Comptabilité (CPMAIN)', 3,
    'Ajustement des soldes des tiers payants : ' || count(*)
    || ' soldes des caisses principales inférieurs à un centime d''Euro ont été corrigés.'
FROM CPMAIN WHERE ((MontantTiersPayant1 - RegleTiersPayant1) < 0.01) AND ((MontantTiersPayant1 - RegleTiersPayant1) > 0)
HAVING count(*) > 0;
UPDATE CPMAIN SET MontantTiersPayant1 = RegleTiersPayant1
WHERE ((MontantTiersPayant1 - RegleTiersPayant1) < 0.01) AND ((MontantTiersPayant1 - RegleTiersPayant1) > 0);
INSERT INTO JOURNAL SELECT 0, '', 0, 'Comptabilité (CPMAIN)', 3,
    'Ajustement des soldes des tiers payants : ' || count(*)
    || ' soldes des caisses complémentaires inférieurs à un centime d''Euro ont été corrigés.'
FROM CPMAIN WHERE ((MontantTiersPayant2 - RegleTiersPayant2) < 0.01) AND ((MontantTiersPayant2 - RegleTiersPayant2) > 0)
HAVING count(*) > 0;
UPDATE CPMAIN SET MontantTiersPayant2 = RegleTiersPayant2
WHERE ((MontantTiersPayant2 - RegleTiersPayant2) < 0.01) AND ((MontantTiersPayant2 - RegleTiersPayant2) > 0);

-- phase 19: credit balances, reported only
INSERT INTO JOURNAL
SELECT c.PATIENTS_ID, c.DATE_CONSULTATION, c.MEDECINS_ID, 'Comptabilité (CPMAIN)', 2,
    'Solde créditeur du tiers payant : l''enregistrement n°' || c.CPMAIN_ID
    || ' de la table CPMAIN indique un solde créditeur pour la caisse '
    || coalesce(o.Nom || ' (' || coalesce(o.Ville, '') || ') ', '') || 'n°' || c.corg || '.' || char(13)
    || printf('%.2f', c.facture) || ' ' || c.MONNAIE1 || ' ont été facturés et la caisse a remboursé '
    || printf('%.2f', c.regle) || ' ' || c.MONNAIE1 || '. Cela donne un solde créditeur de '
    || printf('%.2f', abs(c.facture - c.regle)) || ' ' || c.MONNAIE1 || '.'
FROM (SELECT CPMAIN_ID, PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, MONNAIE1, 1 AS caisse, CPOrg_1_ID AS corg,
             MontantTiersPayant1 AS facture, RegleTiersPayant1 AS regle
      FROM CPMAIN WHERE MontantTiersPayant1 - RegleTiersPayant1 < -0.0099
      UNION ALL
      SELECT CPMAIN_ID, PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, MONNAIE1, 2, CPOrg_2_ID,
             MontantTiersPayant2, RegleTiersPayant2
      FROM CPMAIN WHERE MontantTiersPayant2 - RegleTiersPayant2 < -0.0099) c
LEFT JOIN temp.ORGANISMES o ON o.CPOrg_ID = c.corg
ORDER BY c.CPMAIN_ID, c.caisse;

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>MeasurementSentences</name>
    <message>
        <source>The reader is of a model this plan does not check.</source>
        <translation>Der Leser ist ein Modell, das dieser Prüfplan nicht prüft.</translation>
    </message>
    <message>
        <source>The reader&apos;s firmware is not the one the plan asks for.</source>
        <translation>Die Firmware des Lesers ist nicht die, die der Prüfplan verlangt.</translation>
    </message>
    <message>
        <source>The serial number is not one the plan accepts.</source>
        <translation>Die Seriennummer ist keine, die der Prüfplan annimmt.</translation>
    </message>
    <message>
        <source>The reader reports cards that are not as expected.</source>
        <translation>Der Leser meldet andere Karten als erwartet.</translation>
    </message>
    <message>
        <source>The reader reports a slot it does not have as selected.</source>
        <translation>Der Leser meldet einen Schacht als gewählt, den er nicht hat.</translation>
    </message>
    <message>
        <source>A slot could not be selected.</source>
        <translation>Ein Schacht ließ sich nicht wählen.</translation>
    </message>
    <message>
        <source>A slot&apos;s card clock did not follow the test patterns.</source>
        <translation>Der Kartentakt eines Schachts folgte den Testmustern nicht.</translation>
    </message>
    <message>
        <source>The Tarvik status disagrees with the reader&apos;s status.</source>
        <translation>Der Tarvik-Status widerspricht dem Status des Lesers.</translation>
    </message>
    <message>
        <source>The time setting is out of range.</source>
        <translation>Die Zeiteinstellung liegt außerhalb des Bereichs.</translation>
    </message>
    <message>
        <source>The time setting in counts is out of range.</source>
        <translation>Die Zeiteinstellung in Zählschritten liegt außerhalb des Bereichs.</translation>
    </message>
    <message>
        <source>Echo: a byte came back changed.</source>
        <translation>Echo: ein Byte kam verändert zurück.</translation>
    </message>
    <message>
        <source>The CTS line is not as the plan expects.</source>
        <translation>Die CTS-Leitung ist nicht, wie der Prüfplan sie erwartet.</translation>
    </message>
    <message>
        <source>The DCD line is not as the plan expects.</source>
        <translation>Die DCD-Leitung ist nicht, wie der Prüfplan sie erwartet.</translation>
    </message>
    <message>
        <source>The operator saw display dots that did not light.</source>
        <translation>Der Prüfer sah Punkte der Anzeige, die nicht leuchteten.</translation>
    </message>
    <message>
        <source>The operator did not insert the cards.</source>
        <translation>Der Prüfer hat die Karten nicht eingesteckt.</translation>
    </message>
    <message>
        <source>The reader did not see every card inserted.</source>
        <translation>Der Leser hat nicht jede eingesteckte Karte erkannt.</translation>
    </message>
    <message>
        <source>The Tarvik status did not show every card inserted.</source>
        <translation>Der Tarvik-Status zeigte nicht jede eingesteckte Karte.</translation>
    </message>
    <message>
        <source>The operator did not remove the cards.</source>
        <translation>Der Prüfer hat die Karten nicht entnommen.</translation>
    </message>
    <message>
        <source>The reader still saw a card after the cards were removed.</source>
        <translation>Der Leser sah nach dem Entnehmen noch eine Karte.</translation>
    </message>
    <message>
        <source>The Tarvik status still showed a card after the cards were removed.</source>
        <translation>Der Tarvik-Status zeigte nach dem Entnehmen noch eine Karte.</translation>
    </message>
    <message>
        <source>The card clock stored for slot %1 did not read back.</source>
        <translation>Der für Schacht %1 gespeicherte Kartentakt ließ sich nicht zurücklesen.</translation>
    </message>
    <message>
        <source>The stored time setting did not read back.</source>
        <translation>Die gespeicherte Zeiteinstellung ließ sich nicht zurücklesen.</translation>
    </message>
    <message>
        <source>Echo: %1.</source>
        <translation>Echo: %1.</translation>
    </message>
    <message>
        <source>%1 is outside its limit.</source>
        <translation>%1 liegt außerhalb der Grenze.</translation>
    </message>
    <message>
        <source>measured %1</source>
        <translation>gemessen %1</translation>
    </message>
    <message>
        <source>measured %1, limit %2</source>
        <translation>gemessen %1, Grenze %2</translation>
    </message>
    <message>
        <source>(%1)</source>
        <translation>(%1)</translation>
    </message>
    <message>
        <source>Echo: %1 came back as %2.</source>
        <translation>Echo: %1 kam als %2 zurück.</translation>
    </message>
</context>
<context>
    <name>OperatorQuestions</name>
    <message>
        <source>Did every dot of the display light?</source>
        <translation>Haben alle Punkte der Anzeige geleuchtet?</translation>
    </message>
    <message>
        <source>Insert a card into every slot. Are they all in?</source>
        <translation>Eine Karte in jeden Schacht stecken. Stecken alle?</translation>
    </message>
    <message>
        <source>Remove all cards. Are they all out?</source>
        <translation>Alle Karten entnehmen. Sind alle draußen?</translation>
    </message>
</context>
<context>
    <name>PlanChooser</name>
    <message>
        <source>The plan stays %1 while a checkout runs.</source>
        <translation>Der Prüfplan bleibt %1, solange eine Prüfung läuft.</translation>
    </message>
    <message>
        <source>Plan %1 refused: %2</source>
        <translation>Prüfplan %1 abgelehnt: %2</translation>
    </message>
</context>
<context>
    <name>RecordDialog</name>
    <message>
        <source>Checkout %1</source>
        <translation>Prüfung %1</translation>
    </message>
    <message>
        <source>History of SN %1</source>
        <translation>Verlauf von SN %1</translation>
    </message>
    <message>
        <source>Checkouts and repairs of SN %1, oldest first</source>
        <translation>Prüfungen und Reparaturen von SN %1, die älteste zuerst</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>Prüfplan</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Failed step</source>
        <translation>Fehlgeschlagener Schritt</translation>
    </message>
    <message>
        <source>Repair</source>
        <translation>Reparatur</translation>
    </message>
    <message>
        <source>Back to the record</source>
        <translation>Zurück zur Aufzeichnung</translation>
    </message>
</context>
<context>
    <name>RecordsPanel</name>
    <message>
        <source>Recent checkouts of station %1</source>
        <translation>Letzte Prüfungen der Station %1</translation>
    </message>
    <message>
        <source>&amp;Serial number:</source>
        <translation>&amp;Seriennummer:</translation>
    </message>
    <message>
        <source>every reader</source>
        <translation>jeder Leser</translation>
    </message>
    <message>
        <source>Certificate…</source>
        <translation>Zertifikat…</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>Seriennr.</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modell</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Failed steps</source>
        <translation>Fehlgeschlagene Schritte</translation>
    </message>
    <message>
        <source>A serial number is a number from 0 to 65535.</source>
        <translation>Eine Seriennummer ist eine Zahl von 0 bis 65535.</translation>
    </message>
    <message>
        <source>The records cannot be read: %1</source>
        <translation>Die Aufzeichnungen sind nicht lesbar: %1</translation>
    </message>
    <message>
        <source>The record %1 cannot be read: %2</source>
        <translation>Die Aufzeichnung %1 ist nicht lesbar: %2</translation>
    </message>
    <message>
        <source>Save the test certificate</source>
        <translation>Prüfzertifikat speichern</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>No certificate: no checkout is selected.</source>
        <translation>Kein Zertifikat: keine Prüfung gewählt.</translation>
    </message>
    <message>
        <source>Writing the certificate %1…</source>
        <translation>Zertifikat %1 wird geschrieben…</translation>
    </message>
    <message>
        <source>Certificate saved: %1</source>
        <translation>Zertifikat gespeichert: %1</translation>
    </message>
    <message>
        <source>No certificate: %1</source>
        <translation>Kein Zertifikat: %1</translation>
    </message>
    <message>
        <source>Records file not answering</source>
        <translation>Aufzeichnungsdatei antwortet nicht</translation>
    </message>
    <message>
        <source>Records server not answering</source>
        <translation>Aufzeichnungsserver antwortet nicht</translation>
    </message>
    <message>
        <source>Records server full: the records wait until a connection is free.</source>
        <translation>Aufzeichnungsserver voll: die Aufzeichnungen warten, bis eine Verbindung frei ist.</translation>
    </message>
    <message>
        <source>%1: the list may be out of date.</source>
        <translation>%1: die Liste ist vielleicht nicht aktuell.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>SocketTile</name>
    <message>
        <source>NO READER</source>
        <translation>KEIN LESER</translation>
    </message>
    <message>
        <source>Waiting for a reader to answer.</source>
        <translation>Wartet, bis ein Leser antwortet.</translation>
    </message>
    <message>
        <source>Reader not identified</source>
        <translation>Leser nicht erkannt</translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation>Nicht geprüft</translation>
    </message>
    <message>
        <source>READY</source>
        <translation>BEREIT</translation>
    </message>
    <message>
        <source>NOT RECORDED</source>
        <translation>NICHT AUFGEZEICHNET</translation>
    </message>
    <message>
        <source>&amp;Yes (Y)</source>
        <translation>&amp;Ja (Y)</translation>
    </message>
    <message>
        <source>&amp;No (N)</source>
        <translation>&amp;Nein (N)</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>CHECKING</source>
        <translation>PRÜFT</translation>
    </message>
    <message>
        <source>Enter the lot first: this station checks no reader without one.</source>
        <translation>Erst das Los eingeben: diese Station prüft keinen Leser ohne Los.</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>BESTANDEN</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>FEHLER</translation>
    </message>
    <message>
        <source>ERROR</source>
        <translation>STÖRUNG</translation>
    </message>
    <message>
        <source>STOPPED</source>
        <translation>GESTOPPT</translation>
    </message>
    <message>
        <source>REPAIR FIRST</source>
        <translation>ERST REPARIEREN</translation>
    </message>
    <message>
        <source>Not checked: no lot</source>
        <translation>Nicht geprüft: kein Los</translation>
    </message>
    <message>
        <source>Starting</source>
        <translation>Startet</translation>
    </message>
    <message>
        <source>Plan %1</source>
        <translation>Prüfplan %1</translation>
    </message>
    <message>
        <source>Plan %1, revision %2</source>
        <translation>Prüfplan %1, Revision %2</translation>
    </message>
    <message>
        <source>Stopping: putting the reader back</source>
        <translation>Stoppt: Leser wird zurückgesetzt</translation>
    </message>
    <message>
        <source>%1 (step %2 of %3)</source>
        <translation>%1 (Schritt %2 von %3)</translation>
    </message>
    <message>
        <source>%1  SN %2</source>
        <translation>%1  SN %2</translation>
    </message>
    <message>
        <source>Done in %1 s</source>
        <translation>Fertig in %1 s</translation>
    </message>
    <message>
        <source>Put back first: %1.</source>
        <translation>Zuerst zurückgesetzt: %1.</translation>
    </message>
    <message>
        <source>Stopped by the operator.</source>
        <translation>Vom Prüfer gestoppt.</translation>
    </message>
    <message>
        <source>The retest limit could not be checked: the records are out of reach.</source>
        <translation>Die Wiederholgrenze war nicht prüfbar: die Aufzeichnungen sind nicht erreichbar.</translation>
    </message>
    <message>
        <source>The reader could not be put back as it was found.</source>
        <translation>Der Leser ließ sich nicht in den vorgefundenen Zustand zurücksetzen.</translation>
    </message>
    <message>
        <source>Checked: take the reader away</source>
        <translation>Geprüft: Leser abnehmen</translation>
    </message>
    <message>
        <source>Reader removed</source>
        <translation>Leser entfernt</translation>
    </message>
    <message>
        <source>Waiting for a reader</source>
        <translation>Wartet auf einen Leser</translation>
    </message>
    <message>
        <source>This reader failed as often as the plan allows since its last repair: repair it first.</source>
        <translation>Dieser Leser ist seit seiner letzten Reparatur so oft durchgefallen, wie der Prüfplan erlaubt: erst reparieren.</translation>
    </message>
</context>
<context>
    <name>StationWindow</name>
    <message>
        <source>Vorn Station – station %1</source>
        <translation>Vorn Station – Station %1</translation>
    </message>
    <message>
        <source>Check all (Space)</source>
        <translation>Alle prüfen (Leertaste)</translation>
    </message>
    <message>
        <source>station %1</source>
        <translation>Station %1</translation>
    </message>
    <message>
        <source>&amp;Operator:</source>
        <translation>&amp;Prüfer:</translation>
    </message>
    <message>
        <source>&amp;Lot:</source>
        <translation>&amp;Los:</translation>
    </message>
    <message>
        <source>Automatic: a reader is checked once it answers</source>
        <translation>Automatisch: ein Leser wird geprüft, sobald er antwortet</translation>
    </message>
    <message>
        <source>Today&apos;s figures are being read</source>
        <translation>Die Zahlen von heute werden gelesen</translation>
    </message>
    <message>
        <source>No ports. Plug in a reader and start again, or start with --port NAME or --emulated.</source>
        <translation>Keine Schnittstellen. Einen Leser anschließen und neu starten, oder mit --port NAME oder --emulated starten.</translation>
    </message>
    <message>
        <source>Check all refused. %1</source>
        <translation>Alle prüfen abgelehnt. %1</translation>
    </message>
    <message>
        <source>%1: no reader is asking a question.</source>
        <translation>%1: kein Leser stellt eine Frage.</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>%1: there is no reader %1.</source>
        <translation>%1: es gibt keinen Leser %1.</translation>
    </message>
    <message>
        <source>%1: reader %1 (%2) is not asking a question.</source>
        <translation>%1: Leser %1 (%2) stellt keine Frage.</translation>
    </message>
    <message>
        <source>Y/N: reader %1, %2</source>
        <translation>Y/N: Leser %1, %2</translation>
    </message>
    <message>
        <source>(the login name)</source>
        <translation>(der Anmeldename)</translation>
    </message>
    <message>
        <source>&amp;Plan:</source>
        <translation>Prüf&amp;plan:</translation>
    </message>
    <message>
        <source>Today&apos;s figures cannot be read: %1</source>
        <translation>Die Zahlen von heute sind nicht lesbar: %1</translation>
    </message>
    <message>
        <source>No readers checked today</source>
        <translation>Heute keine Leser geprüft</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>1 reader today</source>
        <translation>1 Leser heute</translation>
    </message>
    <message>
        <source>%1 readers today</source>
        <translation>%1 Leser heute</translation>
    </message>
    <message>
        <source>, first-pass yield %1</source>
        <translation>, Erstausbeute %1</translation>
    </message>
    <message>
        <source>, first checked elsewhere</source>
        <translation>, zuerst anderswo geprüft</translation>
    </message>
    <message>
        <source>, final yield %1</source>
        <translation>, Endausbeute %1</translation>
    </message>
    <message>
        <source>, most failed: %1 (%2)</source>
        <translation>, am häufigsten fehlgeschlagen: %1 (%2)</translation>
    </message>
    <message>
        <source>%1 (SN %2)</source>
        <translation>%1 (SN %2)</translation>
    </message>
    <message>
        <source>NOT RECORDED: the checkout of %1 was kept neither in the records nor in the outbox.
%2</source>
        <translation>NICHT AUFGEZEICHNET: die Prüfung von %1 wurde weder in den Aufzeichnungen noch im Ausgang behalten.
%2</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name></name>
    <message id="ContactAdminTitle">
        <source>Administrator rights required</source>
        <extracomment>Alert title when the user is not an administrator</extracomment>
        <translation>Administratorrechte erforderlich</translation>
    </message>
    <message id="ContactAdminMessage">
        <source>Only an administrator can install %@ on this computer. Please sign in with an administrator account or ask your administrator for help.</source>
        <extracomment>%@ is the product name</extracomment>
        <translation>Nur ein Administrator kann %@ auf diesem Computer installieren. Melden Sie sich mit einem Administratorkonto an oder wenden Sie sich an Ihren Administrator.</translation>
    </message>
    <message id="MessageClose">
        <source>Close</source>
        <extracomment>Button</extracomment>
        <translation>Schließen</translation>
    </message>
    <message id="MessageRetry">
        <source>Try again</source>
        <extracomment>Button</extracomment>
        <translation>Erneut versuchen</translation>
    </message>
    <message id="QSContactSupport">
        <source>Contact support</source>
        <extracomment>Button</extracomment>
        <translation>Support kontaktieren</translation>
    </message>
    <message id="QSDetailText">
        <source>Corvala is just one click away</source>
        <extracomment>Headline of the welcome screen</extracomment>
        <translation>Corvala ist nur einen Klick entfernt</translation>
    </message>
    <message id="QSLandingInfoOne">
        <source>A small installer that always brings you the latest version of Corvala.</source>
        <extracomment>First landing message</extracomment>
        <translation>Ein kleines Installationsprogramm, das Ihnen immer die neueste Version von Corvala bringt.</translation>
    </message>
    <message id="QSLandingInfoTwo">
        <source>Installation takes about a minute on most connections.</source>
        <extracomment>Second landing message</extracomment>
        <translation>Die Installation dauert bei den meisten Verbindungen etwa eine Minute.</translation>
    </message>
    <message id="QSLandingInfoThree">
        <source>You can keep working while Corvala is being installed.</source>
        <extracomment>Third landing message</extracomment>
        <translation>Sie können weiterarbeiten, während Corvala installiert wird.</translation>
    </message>
    <message id="QSInstallNow">
        <source>Install now</source>
        <extracomment>Button</extracomment>
        <translation>Jetzt installieren</translation>
    </message>
    <message id="QSLicenceTextPart1">
        <source>By clicking Install now, you agree to the </source>
        <extracomment>Licence sentence, text before the first link</extracomment>
        <translation>Mit einem Klick auf „Jetzt installieren“ akzeptieren Sie die </translation>
    </message>
    <message id="QSLicenceTextPart2">
        <source>%@ Licence Agreement</source>
        <extracomment>Licence sentence, first link, and title of the licence window; %@ is the maker's name</extracomment>
        <translation>Lizenzvereinbarung von %@</translation>
    </message>
    <message id="QSLicenceTextPart3">
        <source> and confirm that you have read the </source>
        <extracomment>Licence sentence, text between the links</extracomment>
        <translation> und bestätigen die Kenntnisnahme der </translation>
    </message>
    <message id="QSLicenceTextPart4">
        <source>Privacy Statement</source>
        <extracomment>Licence sentence, second link</extracomment>
        <translation>Datenschutzerklärung</translation>
    </message>
    <message id="MessageConnecting">
        <source>Connecting…</source>
        <extracomment>Caption of the connecting screen</extracomment>
        <translation>Verbindung wird hergestellt…</translation>
    </message>
    <message id="QSInstalling">
        <source>Installing Corvala…</source>
        <extracomment>Status line while downloading and installing</extracomment>
        <translation>Corvala wird installiert…</translation>
    </message>
    <message id="QSRetryingDownload">
        <source>Connection trouble. Trying again in %@ s…</source>
        <extracomment>Status line while the download waits before its next attempt; %@ is a number of seconds</extracomment>
        <translation>Verbindungsproblem. Neuer Versuch in %@ s…</translation>
    </message>
    <message id="QSLaunchApp">
        <source>Launch Corvala</source>
        <extracomment>Launch button</extracomment>
        <translation>Corvala starten</translation>
    </message>
    <message id="QSstarted">
        <source>Get started</source>
        <extracomment>Launch button once the installation has finished</extracomment>
        <translation>Los geht’s</translation>
    </message>
    <message id="QSWelcome_To_Brightmoor">
        <source>Welcome to Brightmoor!</source>
        <extracomment>Status line once the installation has finished</extracomment>
        <translation>Willkommen bei Brightmoor!</translation>
    </message>
    <message id="QSQuitTitle">
        <source>Exit the installer?</source>
        <extracomment>Title of the quit confirmation</extracomment>
        <translation>Installation beenden?</translation>
    </message>
    <message id="QSQuitMessage">
        <source>Quitting now stops what is still under way. You can run the installer again at any time.</source>
        <extracomment>Message of the quit confirmation</extracomment>
        <translation>Wenn Sie jetzt beenden, wird abgebrochen, was noch läuft. Sie können das Installationsprogramm jederzeit erneut starten.</translation>
    </message>
    <message id="QSQuitMessageInstalled">
        <source>The installation is finished. Quitting now closes the installer; %@ stays installed.</source>
        <extracomment>Message of the quit confirmation once the product is installed (%@: the product's name)</extracomment>
        <translation>Die Installation ist abgeschlossen. Wenn Sie jetzt beenden, wird das Installationsprogramm geschlossen; %@ bleibt installiert.</translation>
    </message>
    <message id="QSExit">
        <source>Exit</source>
        <extracomment>Quit confirmation, affirmative button</extracomment>
        <translation>Beenden</translation>
    </message>
    <message id="QSNo">
        <source>No, stay</source>
        <extracomment>Quit confirmation, negative button</extracomment>
        <translation>Nein, bleiben</translation>
    </message>
    <message id="MessageInstallationFailed">
        <source>Installation failed</source>
        <extracomment>Title of the installation-failed screen</extracomment>
        <translation>Installation fehlgeschlagen</translation>
    </message>
    <message id="MessageInstallationFailedDescription">
        <source>Something went wrong while installing Corvala. You can </source>
        <extracomment>Installation-failed message, first part</extracomment>
        <translation>Bei der Installation von Corvala ist ein Fehler aufgetreten. Sie können </translation>
    </message>
    <message id="MessageInstallationFailedDescription1">
        <source>download Corvala from our website</source>
        <extracomment>Installation-failed message, link to the download page</extracomment>
        <translation>Corvala von unserer Website herunterladen</translation>
    </message>
    <message id="MessageInstallationFailedDescription2">
        <source> and install it yourself, or </source>
        <extracomment>Installation-failed message, text between the links</extracomment>
        <translation> und selbst installieren oder </translation>
    </message>
    <message id="MessageInstallationFailedClickHere">
        <source>click here</source>
        <extracomment>Installation-failed message, link to the online help</extracomment>
        <translation>hier klicken</translation>
    </message>
    <message id="MessageInstallationFailedDescription3">
        <source> for step-by-step help.</source>
        <extracomment>Installation-failed message, last part</extracomment>
        <translation>, um eine Schritt-für-Schritt-Anleitung zu erhalten.</translation>
    </message>
    <message id="ContactSupportText">
        <source>Need help? </source>
        <extracomment>Subtitle of error screens, text before the link</extracomment>
        <translation>Brauchen Sie Hilfe? </translation>
    </message>
    <message id="ContactSupportText1">
        <source>Visit our help centre</source>
        <extracomment>Subtitle of error screens, link to the online help</extracomment>
        <translation>Besuchen Sie unser Hilfe-Center</translation>
    </message>
    <message id="MessageNoInternetConnection">
        <source>No internet connection</source>
        <extracomment>Title of the no-network screen</extracomment>
        <translation>Keine Internetverbindung</translation>
    </message>
    <message id="MessagePleaseTryLater">
        <source>Please check your connection and try again.</source>
        <extracomment>Message of the no-network screen</extracomment>
        <translation>Bitte prüfen Sie Ihre Verbindung und versuchen Sie es erneut.</translation>
    </message>
    <message id="QSAlreadyInstalledTitle">
        <source>Already installed</source>
        <extracomment>Title of the already-installed screen</extracomment>
        <translation>Bereits installiert</translation>
    </message>
    <message id="QSAlreadyInstalledMessage">
        <source>%@ is already installed on this computer. You can open it from your applications.</source>
        <extracomment>%@ is the product name</extracomment>
        <translation>%@ ist auf diesem Computer bereits installiert. Sie können es aus Ihren Programmen öffnen.</translation>
    </message>
    <message id="QSNoSpaceTitle">
        <source>Not enough disk space</source>
        <extracomment>Title of the not-enough-space screen</extracomment>
        <translation>Nicht genügend Speicherplatz</translation>
    </message>
    <message id="QSNoSpaceMessage">
        <source>Corvala needs at least 1 GB of free space. Free up some space and run the installer again.</source>
        <extracomment>Message of the not-enough-space screen</extracomment>
        <translation>Corvala benötigt mindestens 1 GB freien Speicherplatz. Geben Sie Speicherplatz frei und starten Sie das Installationsprogramm erneut.</translation>
    </message>
    <message id="QSOSNotCompatibleTitle">
        <source>Your system is not supported</source>
        <extracomment>Title of the unsupported-system screen</extracomment>
        <translation>Ihr System wird nicht unterstützt</translation>
    </message>
    <message id="QSOSNotCompatibleMessage">
        <source>Corvala needs a newer version of your operating system. Please update it and try again.</source>
        <extracomment>Message of the unsupported-system screen</extracomment>
        <translation>Corvala benötigt eine neuere Version Ihres Betriebssystems. Bitte aktualisieren Sie es und versuchen Sie es erneut.</translation>
    </message>
    <message id="MessageContent">
        <source>Thank you for choosing Brightmoor. We hope you enjoy Corvala.</source>
        <extracomment>Closing text of the onboarding pages</extracomment>
        <translation>Danke, dass Sie sich für Brightmoor entschieden haben. Viel Freude mit Corvala!</translation>
    </message>
    <message id="QSAccessibleQuit">
        <source>Quit the installer</source>
        <extracomment>Spoken name of the window's close cross (a screen reader says it; it is never shown)</extracomment>
        <translation>Installationsprogramm beenden</translation>
    </message>
    <message id="QSAccessibleDownloadProgress">
        <source>Download progress</source>
        <extracomment>Spoken name of the progress bar</extracomment>
        <translation>Downloadfortschritt</translation>
    </message>
    <message id="QSAccessibleInstallationGuide">
        <source>Step-by-step installation guide</source>
        <extracomment>Spoken name of the "click here" link of the installation-failed message: where it goes</extracomment>
        <translation>Schritt-für-Schritt-Installationsanleitung</translation>
    </message>
    <message id="QSRemoveTitle">
        <source>Remove %@?</source>
        <extracomment>Title of the removal confirmation; %@ is the product name</extracomment>
        <translation>%@ entfernen?</translation>
    </message>
    <message id="QSRemoveMessage">
        <source>%@ and its menu entry will be removed from this computer. Files you made with %@ stay where they are.</source>
        <extracomment>Removal confirmation message</extracomment>
        <translation>%@ und sein Menüeintrag werden von diesem Computer entfernt. Dateien, die Sie mit %@ erstellt haben, bleiben erhalten.</translation>
    </message>
    <message id="QSRemoveRunning">
        <source>%@ is running. Quit %@ first, then remove it.</source>
        <extracomment>Warning on the removal confirmation while the product runs</extracomment>
        <translation>%@ ist geöffnet. Beenden Sie %@ zuerst und entfernen Sie es dann.</translation>
    </message>
    <message id="QSRemoveButton">
        <source>Remove</source>
        <extracomment>Button that starts the removal</extracomment>
        <translation>Entfernen</translation>
    </message>
    <message id="QSRemoveCancel">
        <source>Cancel</source>
        <extracomment>Button that closes the removal window without removing anything</extracomment>
        <translation>Abbrechen</translation>
    </message>
    <message id="QSRemoveWorking">
        <source>Removing %@…</source>
        <extracomment>Title while the removal runs</extracomment>
        <translation>%@ wird entfernt …</translation>
    </message>
    <message id="QSRemoveAuthorisation">
        <source>An administrator's password is needed to remove %@ for everyone on this computer.</source>
        <extracomment>Message while the removal waits for an administrator's authorisation</extracomment>
        <translation>Zum Entfernen von %@ für alle Benutzer dieses Computers ist das Passwort eines Administrators nötig.</translation>
    </message>
    <message id="QSRemovedTitle">
        <source>%@ was removed</source>
        <extracomment>Title when the removal succeeded</extracomment>
        <translation>%@ wurde entfernt</translation>
    </message>
    <message id="QSRemovedMessage">
        <source>%@ is no longer on this computer. You can install it again at any time.</source>
        <extracomment>Message when the removal succeeded</extracomment>
        <translation>%@ ist nicht mehr auf diesem Computer. Sie können es jederzeit wieder installieren.</translation>
    </message>
    <message id="QSNothingToRemoveTitle">
        <source>%@ is not installed</source>
        <extracomment>Title when there was nothing to remove</extracomment>
        <translation>%@ ist nicht installiert</translation>
    </message>
    <message id="QSNothingToRemoveMessage">
        <source>There was nothing to remove. Nothing was changed.</source>
        <extracomment>Message when there was nothing to remove</extracomment>
        <translation>Es gab nichts zu entfernen. Nichts wurde geändert.</translation>
    </message>
    <message id="QSRemoveFailedTitle">
        <source>%@ could not be removed</source>
        <extracomment>Title when the removal failed or was refused</extracomment>
        <translation>%@ konnte nicht entfernt werden</translation>
    </message>
    <message id="QSRemoveRefusedMessage">
        <source>What was found in place of %@ was not installed by this installer, so it was left as it is. Nothing was changed.</source>
        <extracomment>Message when what stands at the product's place is not the installer's</extracomment>
        <translation>An der Stelle von %@ wurde etwas gefunden, das nicht mit diesem Installationsprogramm installiert wurde. Es wurde nicht angetastet. Nichts wurde geändert.</translation>
    </message>
    <message id="QSRemoveNotAuthorisedMessage">
        <source>Removing %@ needs an administrator's permission, which was not given. Nothing was changed.</source>
        <extracomment>Message when the authorisation to remove was refused</extracomment>
        <translation>Zum Entfernen von %@ ist die Erlaubnis eines Administrators nötig, die nicht erteilt wurde. Nichts wurde geändert.</translation>
    </message>
    <message id="QSRemoveFailedMessage">
        <source>Something went wrong while %@ was being removed. The details below say what is left.</source>
        <extracomment>Message when the removal failed</extracomment>
        <translation>Beim Entfernen von %@ ist ein Fehler aufgetreten. Die Angaben unten nennen, was übrig ist.</translation>
    </message>
</context>
</TS>

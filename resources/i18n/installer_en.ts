<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="ContactAdminTitle">
        <source>Administrator rights required</source>
        <extracomment>Alert title when the user is not an administrator</extracomment>
        <translation>Administrator rights required</translation>
    </message>
    <message id="ContactAdminMessage">
        <source>Only an administrator can install %@ on this computer. Please sign in with an administrator account or ask your administrator for help.</source>
        <extracomment>%@ is the product name</extracomment>
        <translation>Only an administrator can install %@ on this computer. Please sign in with an administrator account or ask your administrator for help.</translation>
    </message>
    <message id="MessageClose">
        <source>Close</source>
        <extracomment>Button</extracomment>
        <translation>Close</translation>
    </message>
    <message id="MessageRetry">
        <source>Try again</source>
        <extracomment>Button</extracomment>
        <translation>Try again</translation>
    </message>
    <message id="QSContactSupport">
        <source>Contact support</source>
        <extracomment>Button</extracomment>
        <translation>Contact support</translation>
    </message>
    <message id="QSDetailText">
        <source>Corvala is just one click away</source>
        <extracomment>Headline of the welcome screen</extracomment>
        <translation>Corvala is just one click away</translation>
    </message>
    <message id="QSLandingInfoOne">
        <source>A small installer that always brings you the latest version of Corvala.</source>
        <extracomment>First landing message</extracomment>
        <translation>A small installer that always brings you the latest version of Corvala.</translation>
    </message>
    <message id="QSLandingInfoTwo">
        <source>Installation takes about a minute on most connections.</source>
        <extracomment>Second landing message</extracomment>
        <translation>Installation takes about a minute on most connections.</translation>
    </message>
    <message id="QSLandingInfoThree">
        <source>You can keep working while Corvala is being installed.</source>
        <extracomment>Third landing message</extracomment>
        <translation>You can keep working while Corvala is being installed.</translation>
    </message>
    <message id="QSInstallNow">
        <source>Install now</source>
        <extracomment>Button</extracomment>
        <translation>Install now</translation>
    </message>
    <message id="QSLicenceTextPart1">
        <source>By clicking Install now, you agree to the </source>
        <extracomment>Licence sentence, text before the first link</extracomment>
        <translation>By clicking Install now, you agree to the </translation>
    </message>
    <message id="QSLicenceTextPart2">
        <source>%@ Licence Agreement</source>
        <extracomment>Licence sentence, first link, and title of the licence window; %@ is the maker's name</extracomment>
        <translation>%@ Licence Agreement</translation>
    </message>
    <message id="QSLicenceTextPart3">
        <source> and confirm that you have read the </source>
        <extracomment>Licence sentence, text between the links</extracomment>
        <translation> and confirm that you have read the </translation>
    </message>
    <message id="QSLicenceTextPart4">
        <source>Privacy Statement</source>
        <extracomment>Licence sentence, second link</extracomment>
        <translation>Privacy Statement</translation>
    </message>
    <message id="MessageConnecting">
        <source>Connecting…</source>
        <extracomment>Caption of the connecting screen</extracomment>
        <translation>Connecting…</translation>
    </message>
    <message id="QSInstalling">
        <source>Installing Corvala…</source>
        <extracomment>Status line while downloading and installing</extracomment>
        <translation>Installing Corvala…</translation>
    </message>
    <message id="QSRetryingDownload">
        <source>Connection trouble. Trying again in %@ s…</source>
        <extracomment>Status line while the download waits before its next attempt; %@ is a number of seconds</extracomment>
        <translation>Connection trouble. Trying again in %@ s…</translation>
    </message>
    <message id="QSLaunchApp">
        <source>Launch Corvala</source>
        <extracomment>Launch button</extracomment>
        <translation>Launch Corvala</translation>
    </message>
    <message id="QSstarted">
        <source>Get started</source>
        <extracomment>Launch button once the installation has finished</extracomment>
        <translation>Get started</translation>
    </message>
    <message id="QSWelcome_To_Brightmoor">
        <source>Welcome to Brightmoor!</source>
        <extracomment>Status line once the installation has finished</extracomment>
        <translation>Welcome to Brightmoor!</translation>
    </message>
    <message id="QSQuitTitle">
        <source>Exit the installer?</source>
        <extracomment>Title of the quit confirmation</extracomment>
        <translation>Exit the installer?</translation>
    </message>
    <message id="QSQuitMessage">
        <source>Quitting now stops what is still under way. You can run the installer again at any time.</source>
        <extracomment>Message of the quit confirmation</extracomment>
        <translation>Quitting now stops what is still under way. You can run the installer again at any time.</translation>
    </message>
    <message id="QSQuitMessageInstalled">
        <source>The installation is finished. Quitting now closes the installer; %@ stays installed.</source>
        <extracomment>Message of the quit confirmation once the product is installed (%@: the product's name)</extracomment>
        <translation>The installation is finished. Quitting now closes the installer; %@ stays installed.</translation>
    </message>
    <message id="QSExit">
        <source>Exit</source>
        <extracomment>Quit confirmation, affirmative button</extracomment>
        <translation>Exit</translation>
    </message>
    <message id="QSNo">
        <source>No, stay</source>
        <extracomment>Quit confirmation, negative button</extracomment>
        <translation>No, stay</translation>
    </message>
    <message id="MessageInstallationFailed">
        <source>Installation failed</source>
        <extracomment>Title of the installation-failed screen</extracomment>
        <translation>Installation failed</translation>
    </message>
    <message id="MessageInstallationFailedDescription">
        <source>Something went wrong while installing Corvala. You can </source>
        <extracomment>Installation-failed message, first part</extracomment>
        <translation>Something went wrong while installing Corvala. You can </translation>
    </message>
    <message id="MessageInstallationFailedDescription1">
        <source>download Corvala from our website</source>
        <extracomment>Installation-failed message, link to the download page</extracomment>
        <translation>download Corvala from our website</translation>
    </message>
    <message id="MessageInstallationFailedDescription2">
        <source> and install it yourself, or </source>
        <extracomment>Installation-failed message, text between the links</extracomment>
        <translation> and install it yourself, or </translation>
    </message>
    <message id="MessageInstallationFailedClickHere">
        <source>click here</source>
        <extracomment>Installation-failed message, link to the online help</extracomment>
        <translation>click here</translation>
    </message>
    <message id="MessageInstallationFailedDescription3">
        <source> for step-by-step help.</source>
        <extracomment>Installation-failed message, last part</extracomment>
        <translation> for step-by-step help.</translation>
    </message>
    <message id="ContactSupportText">
        <source>Need help? </source>
        <extracomment>Subtitle of error screens, text before the link</extracomment>
        <translation>Need help? </translation>
    </message>
    <message id="ContactSupportText1">
        <source>Visit our help centre</source>
        <extracomment>Subtitle of error screens, link to the online help</extracomment>
        <translation>Visit our help centre</translation>
    </message>
    <message id="MessageNoInternetConnection">
        <source>No internet connection</source>
        <extracomment>Title of the no-network screen</extracomment>
        <translation>No internet connection</translation>
    </message>
    <message id="MessagePleaseTryLater">
        <source>Please check your connection and try again.</source>
        <extracomment>Message of the no-network screen</extracomment>
        <translation>Please check your connection and try again.</translation>
    </message>
    <message id="QSAlreadyInstalledTitle">
        <source>Already installed</source>
        <extracomment>Title of the already-installed screen</extracomment>
        <translation>Already installed</translation>
    </message>
    <message id="QSAlreadyInstalledMessage">
        <source>%@ is already installed on this computer. You can open it from your applications.</source>
        <extracomment>%@ is the product name</extracomment>
        <translation>%@ is already installed on this computer. You can open it from your applications.</translation>
    </message>
    <message id="QSNoSpaceTitle">
        <source>Not enough disk space</source>
        <extracomment>Title of the not-enough-space screen</extracomment>
        <translation>Not enough disk space</translation>
    </message>
    <message id="QSNoSpaceMessage">
        <source>Corvala needs at least 1 GB of free space. Free up some space and run the installer again.</source>
        <extracomment>Message of the not-enough-space screen</extracomment>
        <translation>Corvala needs at least 1 GB of free space. Free up some space and run the installer again.</translation>
    </message>
    <message id="QSOSNotCompatibleTitle">
        <source>Your system is not supported</source>
        <extracomment>Title of the unsupported-system screen</extracomment>
        <translation>Your system is not supported</translation>
    </message>
    <message id="QSOSNotCompatibleMessage">
        <source>Corvala needs a newer version of your operating system. Please update it and try again.</source>
        <extracomment>Message of the unsupported-system screen</extracomment>
        <translation>Corvala needs a newer version of your operating system. Please update it and try again.</translation>
    </message>
    <message id="MessageContent">
        <source>Thank you for choosing Brightmoor. We hope you enjoy Corvala.</source>
        <extracomment>Closing text of the onboarding pages</extracomment>
        <translation>Thank you for choosing Brightmoor. We hope you enjoy Corvala.</translation>
    </message>
    <message id="QSAccessibleQuit">
        <source>Quit the installer</source>
        <extracomment>Spoken name of the window's close cross (a screen reader says it; it is never shown)</extracomment>
        <translation>Quit the installer</translation>
    </message>
    <message id="QSAccessibleDownloadProgress">
        <source>Download progress</source>
        <extracomment>Spoken name of the progress bar</extracomment>
        <translation>Download progress</translation>
    </message>
    <message id="QSAccessibleInstallationGuide">
        <source>Step-by-step installation guide</source>
        <extracomment>Spoken name of the "click here" link of the installation-failed message: where it goes</extracomment>
        <translation>Step-by-step installation guide</translation>
    </message>
    <message id="QSRemoveTitle">
        <source>Remove %@?</source>
        <extracomment>Title of the removal confirmation; %@ is the product name</extracomment>
        <translation>Remove %@?</translation>
    </message>
    <message id="QSRemoveMessage">
        <source>%@ and its menu entry will be removed from this computer. Files you made with %@ stay where they are.</source>
        <extracomment>Removal confirmation message</extracomment>
        <translation>%@ and its menu entry will be removed from this computer. Files you made with %@ stay where they are.</translation>
    </message>
    <message id="QSRemoveRunning">
        <source>%@ is running. Quit %@ first, then remove it.</source>
        <extracomment>Warning on the removal confirmation while the product runs</extracomment>
        <translation>%@ is running. Quit %@ first, then remove it.</translation>
    </message>
    <message id="QSRemoveButton">
        <source>Remove</source>
        <extracomment>Button that starts the removal</extracomment>
        <translation>Remove</translation>
    </message>
    <message id="QSRemoveCancel">
        <source>Cancel</source>
        <extracomment>Button that closes the removal window without removing anything</extracomment>
        <translation>Cancel</translation>
    </message>
    <message id="QSRemoveWorking">
        <source>Removing %@…</source>
        <extracomment>Title while the removal runs</extracomment>
        <translation>Removing %@…</translation>
    </message>
    <message id="QSRemoveAuthorisation">
        <source>An administrator's password is needed to remove %@ for everyone on this computer.</source>
        <extracomment>Message while the removal waits for an administrator's authorisation</extracomment>
        <translation>An administrator's password is needed to remove %@ for everyone on this computer.</translation>
    </message>
    <message id="QSRemovedTitle">
        <source>%@ was removed</source>
        <extracomment>Title when the removal succeeded</extracomment>
        <translation>%@ was removed</translation>
    </message>
    <message id="QSRemovedMessage">
        <source>%@ is no longer on this computer. You can install it again at any time.</source>
        <extracomment>Message when the removal succeeded</extracomment>
        <translation>%@ is no longer on this computer. You can install it again at any time.</translation>
    </message>
    <message id="QSNothingToRemoveTitle">
        <source>%@ is not installed</source>
        <extracomment>Title when there was nothing to remove</extracomment>
        <translation>%@ is not installed</translation>
    </message>
    <message id="QSNothingToRemoveMessage">
        <source>There was nothing to remove. Nothing was changed.</source>
        <extracomment>Message when there was nothing to remove</extracomment>
        <translation>There was nothing to remove. Nothing was changed.</translation>
    </message>
    <message id="QSRemoveFailedTitle">
        <source>%@ could not be removed</source>
        <extracomment>Title when the removal failed or was refused</extracomment>
        <translation>%@ could not be removed</translation>
    </message>
    <message id="QSRemoveRefusedMessage">
        <source>What was found in place of %@ was not installed by this installer, so it was left as it is. Nothing was changed.</source>
        <extracomment>Message when what stands at the product's place is not the installer's</extracomment>
        <translation>What was found in place of %@ was not installed by this installer, so it was left as it is. Nothing was changed.</translation>
    </message>
    <message id="QSRemoveNotAuthorisedMessage">
        <source>Removing %@ needs an administrator's permission, which was not given. Nothing was changed.</source>
        <extracomment>Message when the authorisation to remove was refused</extracomment>
        <translation>Removing %@ needs an administrator's permission, which was not given. Nothing was changed.</translation>
    </message>
    <message id="QSRemoveFailedMessage">
        <source>Something went wrong while %@ was being removed. The details below say what is left.</source>
        <extracomment>Message when the removal failed</extracomment>
        <translation>Something went wrong while %@ was being removed. The details below say what is left.</translation>
    </message>
</context>
</TS>

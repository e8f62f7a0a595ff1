#pragma once
// One item of the onboarding carousel, from one entry of the configuration's pages.

#include <QString>
#include <QUrl>

struct QSPageObject {
    QString textString;         // "text1": the title, also the page's identifier
    QString descriptionString;  // "text2"
    QUrl imageURL;              // "image", with the screen-scale suffix already applied
};

#pragma once
// What the error screen shows for one failure: the window's owner fills one per screen.

#include "ui/QSAttributedString.h"
#include "ui/QSImage.h"

#include <QString>

#include <optional>

struct QSErrorObject {
    QString title;                              // null: absent
    std::optional<QSAttributedString> message;  // may carry links
    QSImage icon;                               // null image: none
    bool withRetry = false;
    bool withClose = false;
    bool withContactSupport = false;
    bool isURL = false;  // show the message with clickable links instead of as plain text
    std::optional<QSAttributedString> info;     // the subtitle; may carry links
};

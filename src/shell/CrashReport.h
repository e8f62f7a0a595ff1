#pragma once
// What the crash handler knows about an exception: a reason and a small user-info text, the
// C++ counterparts of an exception's reason and user-info dictionary.

#include <QJsonObject>
#include <QString>

namespace shell {

struct CrashReport {
    QString reason;    // what() of a std::exception, else a description of what was thrown
    QString userInfo;  // compact JSON: the thrown type and the details given by the catcher

    // Describes the exception being handled (call inside a catch block or a terminate handler);
    // details such as the receiver and the event go into userInfo beside the thrown type.
    static CrashReport fromCurrentException(QJsonObject details = {});
};

}  // namespace shell

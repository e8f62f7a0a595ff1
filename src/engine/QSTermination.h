#pragma once
#include "telemetry/CoreGlobal.h"

#include <QObject>

// The moment the run begins to end. The shell announces it first in its termination sequence
// (window close, signal, crash, quit); every installation flow stops its work in answer, and the
// carousel its advancing, before the call returns, so nothing of theirs is recorded after "End".
class QSTermination : public QObject {
    Q_OBJECT
public:
    static QSTermination &instance();

    // Emits began() on the calling thread (the main thread); every listener has stopped when
    // this returns. Announcing twice is harmless.
    void announce() { emit began(); }

signals:
    void began();

private:
    QSTermination() = default;
};

#include "engine/QSTermination.h"

QSTermination &QSTermination::instance()
{
    static QSTermination termination;
    return termination;
}

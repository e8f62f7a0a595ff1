#pragma once
// Common header of the core (configuration, telemetry, engine). The core runs without a window:
// it must never reach for the widgets library.
#if defined(TI_CORE_BUILD) && defined(QT_WIDGETS_LIB)
#error "The core links QtCore and QtNetwork only; widgets belong to src/ui."
#endif

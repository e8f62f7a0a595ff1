#include "platform/FontConfigurationWarmUp.h"

#include <QtGlobal>

#include <system_error>

#ifdef Q_OS_LINUX
#include <fontconfig/fontconfig.h>
#endif

namespace platform {

FontConfigurationWarmUp::FontConfigurationWarmUp()
{
#ifdef Q_OS_LINUX
    try {
        thread_ = std::thread([] { FcInit(); });
    } catch (const std::system_error &) {
        // No thread to be had: the toolkit loads the configuration itself when it needs it.
    }
#endif
}

FontConfigurationWarmUp::~FontConfigurationWarmUp()
{
    finish();
}

void FontConfigurationWarmUp::finish()
{
    if (thread_.joinable())
        thread_.join();
}

}  // namespace platform

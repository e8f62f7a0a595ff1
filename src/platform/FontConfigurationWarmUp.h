#pragma once

#include <thread>

namespace platform {

// Reads the system's font configuration (fontconfig's files and caches, about 8 ms) on a thread of
// its own from the first moment of the run. The application object and the window are built
// meanwhile; the first text laid out then finds the configuration loaded instead of loading it.
// fontconfig's initialisation is thread-safe: whoever comes second uses the first one's result.
// Where fonts come from elsewhere (macOS) it does nothing.
class FontConfigurationWarmUp {
public:
    FontConfigurationWarmUp();
    ~FontConfigurationWarmUp();
    // Waits for the thread; call it before the application object goes, so the toolkit never tears
    // the configuration down while it is still being read.
    void finish();

    FontConfigurationWarmUp(const FontConfigurationWarmUp &) = delete;
    FontConfigurationWarmUp &operator=(const FontConfigurationWarmUp &) = delete;

private:
    std::thread thread_;
};

}  // namespace platform

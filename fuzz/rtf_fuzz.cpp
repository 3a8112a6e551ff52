// libFuzzer entry for the RTF reader (body in rtf_fuzz_target.h).
#include <QGuiApplication>

#include "rtf_fuzz_target.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The text document needs a GUI application for its fonts; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rtffuzz::read(data, size);
    return 0;
}

// Times the disc-writing control on one archive: building the image (Call25) and writing it to a
// stdio: target (Call24, without the read-back, then again with it), through the control host
// as the program reaches it. disc.sh runs the peers on the same archive in the same run.
// Usage: marlo_disc_bench ARCHIVE WORK_FOLDER
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "cdwriter/disc_writer.h"
#include "platform/activex/host.h"
#include "platform/activex/member_text.h"

namespace {

using marlo::activex::Host;
using marlo::activex::Value;

constexpr marlo::win::WindowHandle kWindow = 1;

void waitIdle(Host& host) {
    while (host.get(kWindow, 1, "33").toInteger() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

double seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE WORK_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string archive = std::filesystem::absolute(argv[1]).string();
    const std::filesystem::path work = argv[2];
    const std::string image = (work / "ours.iso").string();
    const std::string target = (work / "ours-target.iso").string();
    Host host;
    host.attach(kWindow, 1, cdwriter::DiscWriter::make());
    bool failed = false;
    host.connect(kWindow, 1, [&failed](const marlo::activex::EventParameters& p) {
        if (p.name() == "OnError") {
            std::fprintf(stderr, "OnError: %s\n", p.at(2).toText().c_str());
            failed = true;
        }
    });
    host.put(kWindow, 1, "9", Value("stdio:" + target));
    host.get(kWindow, 1, "31");
    host.get(kWindow, 1, "26(" + marlo::activex::quoteArgument(archive) + ",1,\"\\Backup\\\")");
    const double build = seconds([&] {
        host.get(kWindow, 1, "25(" + marlo::activex::quoteArgument(image) + ")");
        waitIdle(host);
    });
    host.put(kWindow, 1, "15", Value(0));
    const double write = seconds([&] {
        host.get(kWindow, 1, "24(" + marlo::activex::quoteArgument(image) + ")");
        waitIdle(host);
    });
    std::filesystem::remove(target);
    host.put(kWindow, 1, "15", Value(1));
    host.get(kWindow, 1, "25(" + marlo::activex::quoteArgument(image) + ")");  // a fresh image
    waitIdle(host);
    const double writeAndVerify = seconds([&] {
        host.get(kWindow, 1, "24(" + marlo::activex::quoteArgument(image) + ")");
        waitIdle(host);
    });
    host.detach(kWindow, 1);
    const double mb = static_cast<double>(std::filesystem::file_size(image)) / 1e6;
    std::printf("image_mb %.1f\nbuild_s %.3f\nwrite_s %.3f\nwrite_verify_s %.3f\n", mb, build,
                write, writeAndVerify);
    return failed ? 1 : 0;
}

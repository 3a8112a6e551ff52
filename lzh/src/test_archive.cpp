// Testing (t): every member the command line names is decoded and its CRC checked, on every
// core, while the report and the progress calls come out in member order.
#include <deque>
#include <memory>

#include "command.h"
#include "ordered_pool.h"
#include "progress.h"

namespace lzh::detail {
namespace {

// Members decoded ahead of the report at most: enough for the other cores to run on past one
// large member, and little memory (a header's worth each).
constexpr std::size_t kTestAhead = 32768;

struct Tested {
    Member m;
    Status status = Status::ok;
    std::string error;  // why the member is bad (when status is not ok)
};

// Decodes one member, keeping what went wrong; runs on a worker.
void test_member(const ArchiveReader& r, Tested& t) {
    try {
        NullSink sink;
        r.read_data(t.m, sink);
    } catch (const Failure& f) {
        t.status = f.status();
        t.error = f.what();
    } catch (const std::bad_alloc&) {
        t.status = Status::no_memory;
        t.error = "out of memory";
    } catch (const std::exception& e) {
        t.status = Status::io;
        t.error = e.what();
    }
}

class Tester {
  public:
    Tester(const Options& o, Report& rep, ArchiveReader& r) : o_(o), rep_(rep), r_(r) {}
    Status run();

  private:
    void read_ahead(OrderedPool& pool, std::deque<std::unique_ptr<Tested>>& pending);
    void report(const Tested& t);
    Status summary();

    const Options& o_;
    Report& rep_;
    ArchiveReader& r_;
    Outcome out_;
    std::string first_bad_;
    std::uint64_t tested_ = 0, bad_ = 0;
    bool headers_done_ = false;
    std::string header_damage_;  // why the headers could not be read further
    Status header_status_ = Status::ok;
};

// Walks the headers until the window is full, handing each member named to the workers.
void Tester::read_ahead(OrderedPool& pool, std::deque<std::unique_ptr<Tested>>& pending) {
    while (!headers_done_ && pending.size() < kTestAhead) {
        auto t = std::make_unique<Tested>();
        try {
            if (!r_.next(t->m)) {
                headers_done_ = true;
                return;
            }
        } catch (const Failure& f) {
            headers_done_ = true;
            header_damage_ = f.what();
            header_status_ = f.status();
            return;
        }
        if (!member_selected(o_.file_args, t->m)) continue;
        Tested* job = t.get();
        const ArchiveReader& r = r_;
        pool.add(t->m.original_size, [&r, job] { test_member(r, *job); });
        pending.push_back(std::move(t));
    }
}

void Tester::report(const Tested& t) {
    if (t.status == Status::ok) {
        ++tested_;
        if (o_.detail >= 1) rep_.line("OK     " + display_name(t.m));
        return;
    }
    ++bad_;
    if (first_bad_.empty()) first_bad_ = t.m.path;
    rep_.important("Error: " + display_name(t.m) + ": " + t.error);
    out_.note(t.status);
}

Status Tester::run() {
    // Declared before the pool, so that the workers are gone before what they work on.
    std::deque<std::unique_ptr<Tested>> pending;
    OrderedPool pool(o_.threads);
    for (;;) {
        read_ahead(pool, pending);
        if (pending.empty()) break;
        pool.finish_next();
        const std::unique_ptr<Tested> t = std::move(pending.front());
        pending.pop_front();
        if (!o_.progress->starting(t->m)) break;
        report(*t);
        if (!o_.progress->done(t->m)) break;
    }
    return summary();
}

Status Tester::summary() {
    if (o_.progress->stopped()) {
        report_notes(r_, rep_);
        return o_.progress->cancelled(rep_, ", " + std::to_string(bad_) + " bad");
    }
    if (!header_damage_.empty()) {
        ++bad_;
        if (first_bad_.empty())
            first_bad_ = "(header at offset " + std::to_string(r_.offset()) + ")";
        rep_.important("Error: testing stopped: " + header_damage_);
        out_.note(header_status_);
    }
    report_notes(r_, rep_);
    if (out_.status == Status::ok)
        rep_.important("The archive is OK: " + counted(tested_, "member") + " tested.");
    else
        rep_.important("The archive is NOT OK: first bad member " + first_bad_ + "; " +
                       std::to_string(tested_) + " good, " + std::to_string(bad_) + " bad.");
    return out_.status;
}

}  // namespace

Status cmd_test(const Options& o, Report& rep) {
    std::unique_ptr<ArchiveReader> r;
    if (Status s = open_archive(o.archive, r, rep); s != Status::ok) return s;
    if (o.progress->begin_reading(o)) return Status::ok;
    Tester tester(o, rep, *r);
    return tester.run();
}

}  // namespace lzh::detail

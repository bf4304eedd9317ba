#include "driver/scans_ahead.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

#include "kap/kap_file.hpp"
#include "palette/chart_palette.hpp"
#include "platform/background_thread.hpp"

namespace hdrmill {

namespace {

constexpr std::size_t most_threads = 4;

// Opens the scan and, when it is small enough, decodes it and reduces its colours: all
// a chart does with its scan before it writes, the same calls in the same order.
prepared_scan read_ahead(const std::string& path) {
    prepared_scan scan = open_in_turn(path);
    if (scan.opened && std::uint64_t{scan.width} * scan.height <= scans_ahead::most_pixels_ahead) {
        scan.reading = decoded_and_reduced(scan);
    }
    return scan;
}

}  // namespace

prepared_scan open_in_turn(const std::string& path) {
    auto opening = open_scan(path);
    prepared_scan scan;
    if (!opening.scan) {
        scan.refusal = std::move(opening.refusal);
        return scan;
    }
    scan.width = opening.scan->width;
    scan.height = opening.scan->height;
    scan.opened = std::move(opening.scan);
    return scan;
}

scan_reading decoded_and_reduced(prepared_scan& scan) {
    if (scan.failure) {
        std::rethrow_exception(scan.failure);
    }
    if (scan.reading) {
        return std::move(*scan.reading);
    }
    auto reading = decode_scan(*scan.opened);
    scan.opened.reset();  // the decoder's hold on the file, and its buffers
    if (reading.scan) {
        reduce_colours(*reading.scan, kap_most_colours);
    }
    return reading;
}

scans_ahead::~scans_ahead() { stop(); }

void scans_ahead::plan(std::vector<std::string> paths) {
    paths_ = std::move(paths);
    done_.resize(paths_.size());
}

void scans_ahead::start() {
    started_ = true;
    const std::size_t count = std::min<std::size_t>(std::thread::hardware_concurrency(), most_threads);
    if (count < 2) {
        return;  // on one core, reading ahead would only take turns with the writing
    }
    {
        const std::lock_guard lock(mutex_);
        ahead_ = count + 1;
    }
    try {
        for (std::size_t i = 0; i < count; ++i) {
            threads_.push_back(start_background_thread([this] { work(); }));
        }
    } catch (const std::system_error&) {
        // Fewer threads, or none: the scans not read ahead are read in turn.
    }
}

void scans_ahead::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A scan is read at most one more than the threads ahead of the chart the run is at.
        may_start_.wait(lock, [this] {
            next_start_ = std::max(next_start_, next_take_);
            return stopping_ || next_start_ >= paths_.size() || next_start_ < next_take_ + ahead_;
        });
        if (stopping_ || next_start_ >= paths_.size()) {
            return;
        }
        const std::size_t at = next_start_++;
        lock.unlock();
        prepared_scan scan;
        try {
            scan = read_ahead(paths_[at]);
        } catch (...) {
            scan.failure = std::current_exception();
        }
        lock.lock();
        if (at >= next_take_) {
            done_[at] = std::move(scan);
        }
        finished_.notify_all();
    }
}

prepared_scan scans_ahead::take(const std::string& path) {
    if (!started_ && !paths_.empty() && scan_decoder_loaded()) {
        start();
    }
    std::unique_lock lock(mutex_);
    const auto planned = std::find(paths_.begin() + static_cast<std::ptrdiff_t>(next_take_), paths_.end(), path);
    const auto at = static_cast<std::size_t>(planned - paths_.begin());
    for (std::size_t given_up = next_take_; given_up < at; ++given_up) {
        done_[given_up].reset();
    }
    next_take_ = at;
    if (planned == paths_.end()) {
        // The run has left the plan (the calibration file changed under it): every scan
        // from here on is read in turn, and no later chart searches the plan again.
        may_start_.notify_all();
        lock.unlock();
        return open_in_turn(path);
    }
    may_start_.notify_all();
    if (threads_.empty()) {
        next_take_ = at + 1;
        lock.unlock();
        return open_in_turn(path);
    }
    finished_.wait(lock, [&] { return done_[at].has_value(); });
    prepared_scan scan = std::move(*done_[at]);
    done_[at].reset();
    next_take_ = at + 1;
    may_start_.notify_all();
    return scan;
}

void scans_ahead::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    may_start_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

}  // namespace hdrmill

#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scan/scan_reader.hpp"

namespace hdrmill {

/// A chart's scan as make_chart takes it: opened, or why not; and where it was read
/// ahead, decoded and its colours reduced, or why it could not be decoded.
struct prepared_scan {
    std::string refusal;                  // why it could not be opened; empty when it was
    std::uint32_t width = 0, height = 0;  // its size, once opened
    std::optional<opened_scan> opened;    // opened only: the chart decodes it in turn
    std::optional<scan_reading> reading;  // decoded and reduced ahead
    std::exception_ptr failure;           // what reading ahead threw, thrown again in turn
};

/// The scans of a -k run, read ahead of the charts that need them: while the run checks
/// and writes one chart, threads of their own open, decode and reduce the scans of the
/// next few (as many threads as the machine has cores, up to 4, and one scan more than
/// threads ahead). A scan of more than `most_pixels_ahead` pixels is only opened
/// ahead: two of them held at once would double the run's memory. What a chart gets is
/// what reading its scan in turn gives, byte for byte, refusals included; nothing is
/// said ahead. Reading ahead starts once the platform's decoder is loaded (on Linux, by
/// the first scan read in turn), so that the loader's words go with the chart whose
/// scan met them. On one core every scan is read in turn.
class scans_ahead {
public:
    static constexpr std::uint64_t most_pixels_ahead = 8'000'000;

    scans_ahead() = default;  // nothing planned: every scan is read in turn
    ~scans_ahead();           // waits for the scans being read
    scans_ahead(const scans_ahead&) = delete;
    scans_ahead& operator=(const scans_ahead&) = delete;

    /// The scans of the charts to be made, in the order the run comes to them. Once.
    void plan(std::vector<std::string> paths);

    /// The scan at `path`: the one planned next under that name, read ahead (the
    /// scans planned before it are given up: their charts were not made). A scan not
    /// planned is opened now, and so is every scan after it: the plan is given up.
    prepared_scan take(const std::string& path);

private:
    void start();
    void work();
    void stop();

    std::vector<std::string> paths_;                 // as planned; not changed after
    std::vector<std::optional<prepared_scan>> done_; // read ahead, not yet taken
    std::size_t next_start_ = 0;  // the next scan a thread reads
    std::size_t next_take_ = 0;   // scans before it are taken or given up
    std::size_t ahead_ = 0;       // scans read at once from next_take_ on
    bool started_ = false;        // start() has run (in the run's thread only)
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable may_start_, finished_;
    std::vector<std::thread> threads_;
};

/// The scan opened now, in turn, as a chart without scans read ahead takes it.
prepared_scan open_in_turn(const std::string& path);

/// The pixels of a prepared scan, decoded and reduced to a chart's colours: read ahead,
/// or decoded now.
scan_reading decoded_and_reduced(prepared_scan& scan);

}  // namespace hdrmill

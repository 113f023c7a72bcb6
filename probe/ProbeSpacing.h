#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>

namespace sentrel {

/// The waits between a page's probes: its interval, each time a little longer or shorter
/// (within 5 % either way), so that the many pages of one interval, started together, do
/// not all probe in the same second ever after. Both kinds of watcher space probes here.
class ProbeSpacing {
  public:
    ProbeSpacing() : m_random(NextSeed()) {}
    explicit ProbeSpacing(std::uint32_t seed) : m_random(seed) {}
    /// The wait before the next probe of a page of this interval.
    std::chrono::milliseconds Next(std::chrono::milliseconds interval) {
        const long long spread = interval.count() / 10;  // a tenth of it, half each way
        if (spread <= 0) return interval;
        std::uniform_int_distribution<long long> offset(-spread / 2, spread - spread / 2 - 1);
        return interval + std::chrono::milliseconds(offset(m_random));
    }

  private:
    // One device read a process, then a counter through SplitMix64: opening the random
    // device for each of 100,000 pages cost more than their first probes.
    static std::uint32_t NextSeed() {
        static const std::uint64_t base = std::random_device{}();
        static std::atomic<std::uint64_t> counter{0};
        std::uint64_t z = base + 0x9E3779B97F4A7C15ull * (counter.fetch_add(1) + 1);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::uint32_t>(z ^ (z >> 31)) | 1u;  // minstd_rand wants no 0
    }
    std::minstd_rand m_random;
};

}  // namespace sentrel

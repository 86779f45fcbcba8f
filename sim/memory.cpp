#include "sim/memory.h"

#include <algorithm>
#include <queue>
#include <utility>

#include "sim/picture.h"

namespace sim {

namespace {

struct Interval {
    uint32_t start;
    uint32_t end;
    uint32_t buffer;
};

struct Event {
    uint32_t at;
    uint32_t interval;
    bool starts;
};

// A buffer's physical range, split in two where it runs past the top of the space.
void AddIntervals(const ComputedBuffer& buffer, uint32_t index, std::vector<Interval>* out) {
    if (buffer.size == 0) {
        return;
    }
    const uint32_t room = kPhysSpace - buffer.base;
    if (buffer.size <= room) {
        out->push_back({buffer.base, buffer.base + buffer.size, index});
        return;
    }
    out->push_back({buffer.base, kPhysSpace, index});
    out->push_back({0, buffer.size - room, index});
}

// Disjoint segments of buffers[first..], each given to the latest buffer that covers it.
std::vector<Segment> BuildSegments(const std::vector<ComputedBuffer>& buffers, size_t first) {
    std::vector<Interval> intervals;
    for (size_t k = first; k < buffers.size(); ++k) {
        AddIntervals(buffers[k], static_cast<uint32_t>(k), &intervals);
    }
    std::vector<Event> events;
    events.reserve(intervals.size() * 2);
    for (size_t k = 0; k < intervals.size(); ++k) {
        events.push_back({intervals[k].start, static_cast<uint32_t>(k), true});
        events.push_back({intervals[k].end, static_cast<uint32_t>(k), false});
    }
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });

    // Active intervals by buffer priority; ended ones are dropped when they reach the top.
    std::priority_queue<std::pair<uint32_t, uint32_t>> active;
    std::vector<uint8_t> ended(intervals.size(), 0);
    std::vector<Segment> segments;
    size_t e = 0;
    while (e < events.size()) {
        const uint32_t at = events[e].at;
        for (; e < events.size() && events[e].at == at; ++e) {
            const Interval& interval = intervals[events[e].interval];
            if (events[e].starts) {
                active.push({interval.buffer, events[e].interval});
            } else {
                ended[events[e].interval] = 1;
            }
        }
        while (!active.empty() && ended[active.top().second]) {
            active.pop();
        }
        if (active.empty() || e == events.size()) {
            continue;
        }
        const uint32_t next = events[e].at;
        const uint32_t winner = active.top().first;
        if (!segments.empty() && segments.back().end == at && segments.back().buffer == winner) {
            segments.back().end = next;
        } else {
            segments.push_back({at, next, winner});
        }
    }
    return segments;
}

// Page `page` of physical space; null where no word was written in it.
Page* FindPage(const Memory* memory, uint32_t page) {
    const PageBlock* block = memory->blocks[page / kBlockPages].get();
    return block == nullptr ? nullptr : block->pages[page % kBlockPages].get();
}

void DropExplicitWords(Memory* memory, const std::vector<Segment>& covered) {
    for (const Segment& segment : covered) {
        for (uint32_t page = segment.start / kPageBytes; page <= (segment.end - 1) / kPageBytes; ++page) {
            if (memory->blocks[page / kBlockPages] == nullptr) {
                page |= kBlockPages - 1;  // on to the next block
                continue;
            }
            Page* p = FindPage(memory, page);
            if (p == nullptr) {
                continue;
            }
            const uint32_t from = std::max(segment.start, page * kPageBytes);
            const uint32_t to = std::min(segment.end, (page + 1) * kPageBytes);
            for (uint32_t address = from; address < to; address += 4) {
                const uint32_t word = (address % kPageBytes) / 4;
                p->present[word / 32] &= ~(1u << (word % 32));
            }
        }
    }
}

uint32_t LoadLittleEndian(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// The bytes of `line` of `buffer`, made now unless a line with the same content is kept.
const uint8_t* FindLine(LineCache* cache, const ComputedBuffer& buffer, uint32_t line) {
    constexpr size_t kKeptLines = 16;  // a frame has a handful of distinct rows per plane
    const RowKey key = TestPictureRowKey(buffer.frame, line, buffer.width, buffer.height);
    const uint32_t words[3] = {static_cast<uint32_t>(key.kind), key.a, key.b};
    for (const CachedLine& kept : cache->lines) {
        if (kept.used && kept.plane == buffer.plane && kept.layout == buffer.layout && kept.width == buffer.width &&
            kept.lineOffset == buffer.lineOffset && kept.key[0] == words[0] && kept.key[1] == words[1] &&
            kept.key[2] == words[2] && kept.fault == buffer.fault) {
            return kept.bytes.data();
        }
    }
    if (cache->lines.size() < kKeptLines) {
        cache->lines.emplace_back();
        cache->next = cache->lines.size() - 1;
    }
    CachedLine& made = cache->lines[cache->next];
    cache->next = (cache->next + 1) % kKeptLines;
    made.used = true;
    made.plane = buffer.plane;
    made.layout = buffer.layout;
    made.width = buffer.width;
    made.lineOffset = buffer.lineOffset;
    made.fault = buffer.fault;
    std::copy(words, words + 3, made.key);
    made.bytes.resize(buffer.lineOffset);
    MakeBufferLine(buffer, key, made.bytes.data());
    return made.bytes.data();
}

// A read outside the cached line: find the buffer, make the line, remember the range.
uint32_t ReadComputed(Memory* memory, uint32_t phys) {
    if (memory->segmentsStale) {
        memory->segments = BuildSegments(memory->buffers, 0);
        memory->segmentsStale = false;
    }
    const std::vector<Segment>& segments = memory->segments;
    auto it = std::upper_bound(segments.begin(), segments.end(), phys,
                               [](uint32_t value, const Segment& s) { return value < s.start; });
    if (it == segments.begin()) {
        return 0;
    }
    --it;
    if (phys >= it->end) {
        return 0;
    }
    const ComputedBuffer& buffer = memory->buffers[it->buffer];
    const uint32_t offset = (phys - buffer.base) & kPhysMask;
    const uint32_t line = offset / buffer.lineOffset;
    const uint32_t lineStart = line * buffer.lineOffset;
    const uint32_t segmentStart = (it->start - buffer.base) & kPhysMask;
    const uint32_t from = std::max(lineStart, segmentStart);
    const uint32_t to = std::min(lineStart + buffer.lineOffset, segmentStart + (it->end - it->start));

    LineCache& cache = memory->cache;
    cache.bytes = FindLine(&cache, buffer, line);
    cache.validStart = (buffer.base + from) & kPhysMask;
    cache.validLength = to - from;
    cache.byteAtValidStart = from - lineStart;
    return LoadLittleEndian(&cache.bytes[offset - lineStart]);
}

}  // namespace

void MemoryClear(Memory* memory) {
    for (std::unique_ptr<PageBlock>& block : memory->blocks) {
        block.reset();
    }
    memory->buffers.clear();
    memory->segments.clear();
    memory->segmentsStale = false;
    memory->cache = LineCache{};
}

uint32_t MemoryRead(Memory* memory, uint32_t address) {
    const uint32_t phys = address & kPhysMask & ~3u;
    if (const Page* page = FindPage(memory, phys / kPageBytes)) {
        const uint32_t word = (phys % kPageBytes) / 4;
        if ((page->present[word / 32] >> (word % 32)) & 1u) {
            return page->words[word];
        }
    }
    const LineCache& cache = memory->cache;
    const uint32_t inside = phys - cache.validStart;
    if (inside < cache.validLength) {
        return LoadLittleEndian(&cache.bytes[inside + cache.byteAtValidStart]);
    }
    return ReadComputed(memory, phys);
}

namespace {

// The page that holds `phys`, made (with its block) when no word was written there yet.
Page& WritablePage(Memory* memory, uint32_t phys) {
    std::unique_ptr<PageBlock>& block = memory->blocks[phys / kPageBytes / kBlockPages];
    if (!block) {
        block = std::make_unique<PageBlock>();
    }
    std::unique_ptr<Page>& page = block->pages[phys / kPageBytes % kBlockPages];
    if (!page) {
        page = std::make_unique<Page>();  // value-initialised: nothing present
    }
    return *page;
}

}  // namespace

void MemoryWrite(Memory* memory, uint32_t address, uint32_t value) {
    const uint32_t phys = address & kPhysMask & ~3u;
    Page* page = &WritablePage(memory, phys);
    const uint32_t word = (phys % kPageBytes) / 4;
    page->words[word] = value;
    page->present[word / 32] |= 1u << (word % 32);
}

void MemoryWriteBytes(Memory* memory, uint32_t address, const uint8_t* bytes, size_t size) {
    const uint32_t phys = address & kPhysMask & ~3u;
    // A page at a time: a `load` line places up to 64 MiB, and replays run under emulators.
    for (size_t offset = 0; offset < size;) {
        const uint32_t at = (phys + static_cast<uint32_t>(offset)) & kPhysMask;
        Page* page = &WritablePage(memory, at);
        for (uint32_t word = (at % kPageBytes) / 4; word < kPageWords && offset < size; ++word, offset += 4) {
            uint32_t value = 0;
            if (size - offset >= 4) {
                value = static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
                        static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
            } else {
                for (size_t k = 0; offset + k < size; ++k) {
                    value |= static_cast<uint32_t>(bytes[offset + k]) << (8 * k);
                }
            }
            page->words[word] = value;
            page->present[word / 32] |= 1u << (word % 32);
        }
    }
}

void MemoryAddBuffers(Memory* memory, const std::vector<ComputedBuffer>& buffers) {
    const size_t first = memory->buffers.size();
    memory->buffers.insert(memory->buffers.end(), buffers.begin(), buffers.end());
    DropExplicitWords(memory, BuildSegments(memory->buffers, first));
    // The whole table is made on the next read, once however many lines added buffers.
    memory->segmentsStale = true;
    memory->cache = LineCache{};
}

}  // namespace sim

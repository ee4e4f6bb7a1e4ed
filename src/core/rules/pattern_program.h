// A compiled pattern: a Thompson NFA program, and the three ways it is run, all by simulating
// every thread in lockstep (a Pike VM), never by backtracking.
//
// The program is a vector of instructions. `Byte`/`Set` consume one byte, `Split` forks a
// thread (the first target has priority), `Jump` continues elsewhere, `Assert` tests the
// position without consuming, `Match` accepts. For /ab*c/:
//
//   0 Byte 'a'   1 Split 2, 4   2 Byte 'b'   3 Jump 1   4 Byte 'c'   5 Match
//
// Threads live in a list ordered by priority and deduplicated by instruction, so a step costs at
// most one visit per instruction whatever the pattern: O(length * program size) per run.
//  - MatchAt: the match starting at one offset, as the language defines it: the first thread
//    in priority order to reach Match wins, lower ones are cut, higher ones run on.
//  - Starts: the program compiled from the pattern read backwards, run from a window of
//    possible end offsets towards the front: the offsets where a match may start.
//  - Search: whether anything matches anywhere (a new lowest-priority thread at every offset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/rules/pattern_syntax.h"

namespace pellora::rules::detail {

struct Inst {
    enum class Op : uint8_t { kByte, kSet, kSplit, kJump, kAssert, kMatch };
    Op op = Op::kMatch;
    uint8_t byte = 0;                         // kByte
    Assertion assertion = Assertion::kStart;  // kAssert
    uint32_t x = 0, y = 0;                    // kSplit (x first), kJump (x), kSet (index of the set)
};

struct Program {
    std::vector<Inst> insts;
    std::vector<ByteSet> sets;
};

// Instructions a tree compiles to, saturating at `limit + 1`.
size_t ProgramSizeOf(const Node& node, size_t limit);
// The tree as a program; the caller has checked ProgramSizeOf against its limit.
Program CompileProgram(const Node& node);

// The thread lists a machine works in, kept from run to run (and from program to program: the
// marks are generation numbers, so nothing needs clearing), so a run allocates nothing once the
// lists have grown to the largest program seen.
struct MachineMemory {
    struct List {
        std::vector<uint32_t> pcs;
        uint32_t generation = 0;
    };
    std::vector<uint32_t> mark;  // generation in which each instruction was last added
    uint32_t generation = 0;
    std::vector<uint32_t> stack;
    List current, next;
    std::vector<size_t> starts;  // the caller's list of possible starts
};

class Machine {
  public:
    Machine(const Program& program, MachineMemory& memory);

    // The length of the match starting at `start` that ends no later than `limit`; nothing
    // when there is none or the match that wins is empty.
    std::optional<size_t> MatchAt(std::span<const uint8_t> data, size_t start, size_t limit);

    // For a program compiled from a reversed pattern: every offset s >= `low` such that the
    // data between s and some end e in [endLow, endHigh] matches. Reported in descending order.
    void Starts(std::span<const uint8_t> data, size_t endLow, size_t endHigh, size_t low, std::vector<size_t>& starts);

    // Whether the program matches anywhere in `data` (an empty match counts).
    bool Search(std::span<const uint8_t> data);

  private:
    using List = MachineMemory::List;
    void Add(List& list, uint32_t pc, std::span<const uint8_t> data, size_t pos);
    bool Accepts(const Inst& inst, uint8_t b) const;
    void NewGeneration(List& list);

    const Program& program_;
    MachineMemory& memory_;
};

bool AssertionHolds(Assertion assertion, std::span<const uint8_t> data, size_t pos);

}  // namespace pellora::rules::detail

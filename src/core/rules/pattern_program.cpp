// Compilation of the syntax tree into an NFA program and the Pike VM that runs it; see
// pattern_program.h for the technique.
#include "core/rules/pattern_program.h"

#include <algorithm>

namespace pellora::rules::detail {

namespace {

size_t SaturatingAdd(size_t a, size_t b, size_t limit) {
    return std::min(limit + 1, a + b);
}

size_t SaturatingMul(size_t a, size_t b, size_t limit) {
    if (a != 0 && b > (limit + 1) / a)
        return limit + 1;
    return std::min(limit + 1, a * b);
}

bool IsWordByte(uint8_t b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
}

class Compiler {
  public:
    explicit Compiler(Program& program) : program_(program) {}

    void Emit(const Node& node) {
        switch (node.kind) {
            case Node::Kind::kEmpty:
                return;
            case Node::Kind::kBytes: {
                Inst inst;
                if (node.set.Count() == 1) {
                    inst.op = Inst::Op::kByte;
                    for (unsigned b = 0; b < 256; ++b) {
                        if (node.set.Has(static_cast<uint8_t>(b)))
                            inst.byte = static_cast<uint8_t>(b);
                    }
                } else {
                    inst.op = Inst::Op::kSet;
                    inst.x = SetIndex(node.set);
                }
                Push(inst);
                return;
            }
            case Node::Kind::kAssert: {
                Inst inst;
                inst.op = Inst::Op::kAssert;
                inst.assertion = node.assertion;
                Push(inst);
                return;
            }
            case Node::Kind::kConcat:
                for (const Node& child : node.children)
                    Emit(child);
                return;
            case Node::Kind::kAlt: {
                // split L1, next; L1: a; jump end; next: split L2, next2; ... last branch
                std::vector<uint32_t> jumps;
                for (size_t i = 0; i < node.children.size(); ++i) {
                    if (i + 1 < node.children.size()) {
                        const uint32_t split = Push({Inst::Op::kSplit});
                        program_.insts[split].x = Here();
                        Emit(node.children[i]);
                        jumps.push_back(Push({Inst::Op::kJump}));
                        program_.insts[split].y = Here();
                    } else {
                        Emit(node.children[i]);
                    }
                }
                for (uint32_t jump : jumps)
                    program_.insts[jump].x = Here();
                return;
            }
            case Node::Kind::kRepeat: {
                const Node& child = node.children[0];
                for (uint32_t i = 0; i < node.min; ++i)
                    Emit(child);
                if (node.unbounded) {
                    const uint32_t split = Push({Inst::Op::kSplit});
                    const uint32_t body = Here();
                    Emit(child);
                    Inst back{Inst::Op::kJump};
                    back.x = split;
                    Push(back);
                    Order(split, body, Here(), node.greedy);
                    return;
                }
                std::vector<uint32_t> splits;
                for (uint32_t i = node.min; i < node.max; ++i) {
                    splits.push_back(Push({Inst::Op::kSplit}));
                    program_.insts[splits.back()].x = Here();
                    Emit(child);
                }
                for (uint32_t split : splits)
                    Order(split, program_.insts[split].x, Here(), node.greedy);
                return;
            }
        }
    }

  private:
    uint32_t Here() const { return static_cast<uint32_t>(program_.insts.size()); }

    uint32_t Push(Inst inst) {
        program_.insts.push_back(inst);
        return Here() - 1;
    }

    // A repetition's split: into the body first when greedy, past it first when lazy.
    void Order(uint32_t split, uint32_t body, uint32_t exit, bool greedy) {
        program_.insts[split].x = greedy ? body : exit;
        program_.insts[split].y = greedy ? exit : body;
    }

    uint32_t SetIndex(const ByteSet& set) {
        for (size_t i = 0; i < program_.sets.size(); ++i) {
            if (program_.sets[i] == set)
                return static_cast<uint32_t>(i);
        }
        program_.sets.push_back(set);
        return static_cast<uint32_t>(program_.sets.size() - 1);
    }

    Program& program_;
};

}  // namespace

bool AssertionHolds(Assertion assertion, std::span<const uint8_t> data, size_t pos) {
    switch (assertion) {
        case Assertion::kStart:
            return pos == 0;
        case Assertion::kEnd:
            return pos == data.size();
        case Assertion::kWord:
        case Assertion::kNotWord: {
            const bool before = pos > 0 && IsWordByte(data[pos - 1]);
            const bool after = pos < data.size() && IsWordByte(data[pos]);
            return (before != after) == (assertion == Assertion::kWord);
        }
        case Assertion::kWideWord:
        case Assertion::kWideNotWord: {
            // UTF-16LE: a word character is a word byte followed by a zero byte.
            const bool before = pos >= 2 && IsWordByte(data[pos - 2]) && data[pos - 1] == 0;
            const bool after = pos + 1 < data.size() && IsWordByte(data[pos]) && data[pos + 1] == 0;
            return (before != after) == (assertion == Assertion::kWideWord);
        }
    }
    return false;
}

size_t ProgramSizeOf(const Node& node, size_t limit) {
    switch (node.kind) {
        case Node::Kind::kEmpty:
            return 0;
        case Node::Kind::kBytes:
        case Node::Kind::kAssert:
            return 1;
        case Node::Kind::kConcat:
        case Node::Kind::kAlt: {
            size_t total = node.kind == Node::Kind::kAlt ? 2 * (node.children.size() - 1) : 0;
            for (const Node& child : node.children)
                total = SaturatingAdd(total, ProgramSizeOf(child, limit), limit);
            return total;
        }
        case Node::Kind::kRepeat: {
            const size_t one = ProgramSizeOf(node.children[0], limit);
            size_t total = SaturatingMul(one, node.min, limit);
            if (node.unbounded)
                return SaturatingAdd(total, one + 2, limit);
            return SaturatingAdd(total, SaturatingMul(one + 1, node.max - node.min, limit), limit);
        }
    }
    return 0;
}

Program CompileProgram(const Node& node) {
    Program program;
    Compiler(program).Emit(node);
    program.insts.push_back({Inst::Op::kMatch});
    return program;
}

Machine::Machine(const Program& program, MachineMemory& memory) : program_(program), memory_(memory) {
    if (memory_.mark.size() < program.insts.size())
        memory_.mark.resize(program.insts.size(), 0);
}

void Machine::NewGeneration(List& list) {
    list.pcs.clear();
    if (++memory_.generation == 0) {
        // After four billion steps the marks start again; only the list being built is live.
        std::fill(memory_.mark.begin(), memory_.mark.end(), 0);
        memory_.generation = 1;
    }
    list.generation = memory_.generation;
}

void Machine::Add(List& list, uint32_t pc, std::span<const uint8_t> data, size_t pos) {
    memory_.stack.clear();
    memory_.stack.push_back(pc);
    while (!memory_.stack.empty()) {
        const uint32_t at = memory_.stack.back();
        memory_.stack.pop_back();
        if (memory_.mark[at] == list.generation)
            continue;
        memory_.mark[at] = list.generation;
        const Inst& inst = program_.insts[at];
        switch (inst.op) {
            case Inst::Op::kJump:
                memory_.stack.push_back(inst.x);
                break;
            case Inst::Op::kSplit:
                memory_.stack.push_back(inst.y);
                memory_.stack.push_back(inst.x);
                break;
            case Inst::Op::kAssert:
                if (AssertionHolds(inst.assertion, data, pos))
                    memory_.stack.push_back(at + 1);
                break;
            default:
                list.pcs.push_back(at);
                break;
        }
    }
}

bool Machine::Accepts(const Inst& inst, uint8_t b) const {
    if (inst.op == Inst::Op::kByte)
        return inst.byte == b;
    return inst.op == Inst::Op::kSet && program_.sets[inst.x].Has(b);
}

std::optional<size_t> Machine::MatchAt(std::span<const uint8_t> data, size_t start, size_t limit) {
    limit = std::min(limit, data.size());
    std::optional<size_t> found;
    NewGeneration(memory_.current);
    Add(memory_.current, 0, data, start);
    for (size_t pos = start; !memory_.current.pcs.empty(); ++pos) {
        NewGeneration(memory_.next);
        for (uint32_t pc : memory_.current.pcs) {
            const Inst& inst = program_.insts[pc];
            if (inst.op == Inst::Op::kMatch) {
                found = pos - start;
                break;  // every thread after this one has lower priority
            }
            if (pos < limit && Accepts(inst, data[pos]))
                Add(memory_.next, pc + 1, data, pos + 1);
        }
        std::swap(memory_.current, memory_.next);
    }
    // An empty match is no match (as the language reports none for /a*?/).
    if (found == size_t{0})
        return std::nullopt;
    return found;
}

void Machine::Starts(std::span<const uint8_t> data,
                     size_t endLow,
                     size_t endHigh,
                     size_t low,
                     std::vector<size_t>& starts) {
    endHigh = std::min(endHigh, data.size());
    if (endLow > endHigh)
        return;
    NewGeneration(memory_.current);
    for (size_t pos = endHigh;; --pos) {
        if (pos >= endLow)
            Add(memory_.current, 0, data, pos);
        if (memory_.current.pcs.empty() && pos < endLow)
            return;
        NewGeneration(memory_.next);
        for (uint32_t pc : memory_.current.pcs) {
            const Inst& inst = program_.insts[pc];
            if (inst.op == Inst::Op::kMatch) {
                starts.push_back(pos);
            } else if (pos > low && Accepts(inst, data[pos - 1])) {
                Add(memory_.next, pc + 1, data, pos - 1);
            }
        }
        std::swap(memory_.current, memory_.next);
        if (pos == low)
            return;
    }
}

bool Machine::Search(std::span<const uint8_t> data) {
    NewGeneration(memory_.current);
    for (size_t pos = 0;; ++pos) {
        Add(memory_.current, 0, data, pos);
        NewGeneration(memory_.next);
        for (uint32_t pc : memory_.current.pcs) {
            const Inst& inst = program_.insts[pc];
            if (inst.op == Inst::Op::kMatch)
                return true;
            if (pos < data.size() && Accepts(inst, data[pos]))
                Add(memory_.next, pc + 1, data, pos + 1);
        }
        if (pos == data.size())
            return false;
        std::swap(memory_.current, memory_.next);
    }
}

}  // namespace pellora::rules::detail

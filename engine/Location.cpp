// Locating a failed run: the frames of the blocks running lead from the failed statement back to
// the program's tokens, and the program's lines lead back to the lines of Source.
#include "Location.h"

#include "Cache.h"
#include "Extraction.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Text.h"

#include <algorithm>
#include <optional>

namespace ksl {

namespace {

// The statement a frame is running: where it starts in the frame's text, its first token and
// how many tokens it has.
struct RunningStatement {
    size_t offset = 0;
    std::string firstToken;
    size_t tokenCount = 0;
};

std::optional<RunningStatement> StatementOf(const BlockFrame& frame) {
    if (frame.program) {
        if (!frame.running) return std::nullopt;
        return RunningStatement{0, std::string(frame.program->View(frame.running->begin)),
                                frame.running->Size()};
    }
    std::shared_ptr<const TokenStream> tokens;
    size_t offset;
    if (frame.prepared) {
        if (frame.statement >= frame.prepared->size()) return std::nullopt;
        const Statement& statement = (*frame.prepared)[frame.statement];
        tokens = statement.tokens;
        offset = statement.offset;
    } else {
        std::vector<std::string> texts;
        std::vector<size_t> offsets;
        ExtractDelimiter(";", *frame.text, texts, &offsets);
        if (frame.statement >= texts.size()) return std::nullopt;
        tokens = Tokenize(texts[frame.statement]);
        offset = offsets[frame.statement];
    }
    return RunningStatement{offset, std::string(tokens->View(0)), tokens->tokens.size() - 1};
}

// The index of the token of `stream` that starts at byte `offset`, or -1.
int64_t TokenAt(const TokenStream& stream, size_t offset) {
    for (size_t i = 0; i + 1 < stream.tokens.size(); ++i)
        if (stream.tokens[i].start == offset) return int64_t(i);
    return -1;
}

// The program token that `statement`, the one the frame is running, starts at, or -1 when it
// cannot be told.
int64_t ProgramTokenOf(const BlockFrame& frame, const RunningStatement& statement) {
    if (frame.program) return frame.running->begin;
    if (frame.start < 0) return -1;
    int64_t base = frame.start;
    if (frame.parent) {
        const std::optional<RunningStatement> opener = StatementOf(*frame.parent);
        const int64_t openerToken = opener ? ProgramTokenOf(*frame.parent, *opener) : -1;
        if (openerToken < 0) return -1;
        base += openerToken;
    }
    const int64_t within = TokenAt(*Tokenize(*frame.text), statement.offset);
    return within < 0 ? -1 : base + within;
}

// The statement as written: from its `first` token (comments not counted) up to its last token
// on that line. The whole line, trimmed, for a token count of 0 or when the line holds fewer
// tokens than `first` says.
std::string WrittenStatement(const std::string& line, size_t first, size_t tokenCount) {
    const std::shared_ptr<TokenStream> stream = Tokenize(line);
    std::vector<const Token*> code;
    for (size_t i = 0; i + 1 < stream->tokens.size(); ++i)
        if (stream->tokens[i].kind != toComment) code.push_back(&stream->tokens[i]);
    if (first >= code.size() || tokenCount == 0) return std::string(Trim(line, IsBlankOrNul));
    const Token& last = *code[std::min(code.size(), first + tokenCount) - 1];
    const size_t from = code[first]->start;
    return line.substr(from, last.start + last.length - from);
}

// Only the innermost place of a failure is noted; the blocks it passes through on its way out
// leave it be. Locating is a courtesy: should it fail, the failure itself travels on unchanged.
template <class Locate> void NoteOnce(bool& noted, Locate locate) noexcept {
    if (noted) return;
    noted = true;
    try {
        locate();
    } catch (...) {}
}

} // namespace

void Interpreter::ForgetFailure() {
    failureNoted = false;
    FErrorLine = 0;
    FErrorStatement.clear();
}

void Interpreter::NoteFailure(const BlockFrame& frame) noexcept {
    NoteOnce(failureNoted, [&] {
        const std::optional<RunningStatement> statement = StatementOf(frame);
        const int64_t index = statement ? ProgramTokenOf(frame, *statement) : -1;
        if (index >= 0) NoteFailureAt(size_t(index), statement->tokenCount, statement->firstToken);
    });
}

void Interpreter::NoteFailureAtProgramToken(size_t index) noexcept {
    NoteOnce(failureNoted, [&] { NoteFailureAt(index, 0, std::nullopt); });
}

// The program is cut again from Source as the run cut it, which costs nothing until a run fails.
// With a token count of 0 the whole line stands for the statement.
void Interpreter::NoteFailureAt(size_t index, size_t tokenCount,
                                std::optional<std::string_view> firstToken) {
    std::vector<int32_t> sourceLines;
    const std::shared_ptr<TokenStream> program = Tokenize(SkipComment(FSource, &sourceLines));
    if (index + 1 >= program->tokens.size()) return;
    // The frames lead back through texts cut again and again; a token that does not match means
    // they lost their way, and no line is better than a wrong one.
    if (firstToken && program->View(index) != *firstToken) return;
    const std::string_view text = program->text;
    const size_t start = program->tokens[index].start;
    size_t programLine = 0;
    size_t lineStart = 0;
    for (size_t end = text.find("\r\n"); end != std::string_view::npos && end < start;
         end = text.find("\r\n", end + 2)) {
        ++programLine;
        lineStart = end + 2;
    }
    if (programLine >= sourceLines.size()) return;
    size_t place = 0;
    while (place < index && program->tokens[index - place - 1].start >= lineStart)
        ++place;
    FErrorLine = sourceLines[programLine];
    FErrorStatement = WrittenStatement(FSource[size_t(FErrorLine - 1)], place, tokenCount);
}

} // namespace ksl

#pragma once
// Cutting statement text: a block into statements, an expression up to a stop word, a nested
// statement or the contents of a bracketed block. Structure is recognised only by counting
// BEGIN, REPEAT and CASE against END and UNTIL.
#include "KSLParser.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ksl {

// Stop words of Get_ExpString.
inline constexpr uint8_t bwThen = 1, bwDo = 2, bwTo = 4, bwDownTo = 8, bwOf = 16, bwSemiColon = 32,
                         bwRange = 64, bwColon = 128;
// Closing words of Get_Sentence's block mode.
inline constexpr uint8_t bwUntil = 1, bwEnd = 2;

// The tokens of `range` as a text: each token's text followed by one blank.
std::string TextOf(const TokenStream& stream, TokenRange range);

// Splits the tokens of a block at Delimiter tokens outside nested structures; empty statements
// vanish.
void SplitStatements(const TokenStream& stream, TokenRange block, std::string_view Delimiter,
                     std::vector<TokenRange>& statements);
// The same for a text. `offsets`, when given, receives where each statement starts in Str.
void ExtractDelimiter(std::string_view Delimiter, std::string_view Str,
                      std::vector<std::string>& List, std::vector<size_t>* offsets = nullptr);

// Takes tokens from the current one up to (not including) the first stop word of BreakWord.
std::string Get_ExpString(TKSLParser& parser, uint8_t BreakWord);
// The tokens Get_ExpString takes, leaving the parser where it would.
TokenRange ExpressionRange(TKSLParser& parser, uint8_t BreakWord);

// The tokens of one argument of a call: up to a "," or ")" outside brackets, or the end.
TokenRange ArgumentRange(TKSLParser& parser);

// At BEGIN or ELSE: the statements up to the matching END; at REPEAT: those up to the matching
// UNTIL; otherwise one statement up to ";" or its ELSE. With `nested`, a REPEAT is taken whole,
// condition included, as the statement standing in a THEN, ELSE, DO or CASE branch.
std::string Get_Sentence(TKSLParser& parser, bool nested = false);
// The tokens Get_Sentence takes, leaving the parser where it would.
TokenRange SentenceRange(TKSLParser& parser, bool nested = false);
// The index of the first token that Get_Sentence would take from the parser's position.
size_t SentenceStart(const TKSLParser& parser, bool nested = false);

} // namespace ksl

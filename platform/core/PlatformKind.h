#pragma once

// The kind of platform the program runs as. The desktop asks before saving a modified book that
// is about to be replaced; the handheld saves it without a question.
enum class PlatformKind { Desktop, Handheld };

#pragma once
// Japanese texts that both programs show or write, kept here once as
// SjisText constants (see shared/sjis.h). Texts of only one program live in
// that program's own texts header; the home locale's month and day names
// belong to the date formatting code.
//
// Both programs build their file and error messages from the system's reason
// texts and their own wording, so no text is shared yet.

#include "shared/sjis.h"

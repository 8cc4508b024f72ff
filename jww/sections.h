// Readers and writers of the sections of a JWW file, used by the document's load and save.
#pragma once

#include "jww/archive.h"

namespace kelvane {

// Declared, not included: the document's own source includes this file.
class JwwDocument;
struct JwwDiagnostics;
struct SheetView;

// A string read through the read-side filter, counted for the diagnostics.
JwwString ReadText(ByteReader& in, JwwDiagnostics& diag);
JwwString ReadCString(ByteReader& in, JwwDiagnostics& diag);
// A string through the write-side filter.
void WriteText(ByteWriter& out, const JwwString& s);

// Returns false when the version is below the supported range (nothing after it is read).
bool ReadHeader(ByteReader& in, JwwDocument& doc);
void WriteHeader(ByteWriter& out, const JwwDocument& doc, int32_t version);

void ReadEntitySection(ByteReader& in, JwwDocument& doc);
// Writes the drawing's entities, or only those of a sheet when one is given.
void WriteEntitySection(ByteWriter& out, const JwwDocument& doc, int32_t version, const SheetView* sheet);

void ReadImageSection(ByteReader& in, JwwDocument& doc);
void WriteImageSection(ByteWriter& out, const JwwDocument& doc, const SheetView* sheet);

void NormaliseBlocks(JwwDocument& doc);

}  // namespace kelvane

// Readers and writers of the sections of a JWW file, used by the document's load and save.
#pragma once

#include "jww/archive.h"
#include "jww/jwwunit.h"

namespace kelvane {

// A string read through the read-side filter, counted for the diagnostics.
JwwString ReadText(ByteReader& in, JwwDiagnostics& diag);
JwwString ReadCString(ByteReader& in, JwwDiagnostics& diag);
// A string through the write-side filter.
void WriteText(ByteWriter& out, const JwwString& s);

// Returns false when the version is below the supported range (nothing after it is read).
bool ReadHeader(ByteReader& in, TJwwData& doc);
void WriteHeader(ByteWriter& out, const TJwwData& doc, int32_t version);

void ReadEntitySection(ByteReader& in, TJwwData& doc);
// Writes the drawing's entities, or only those of a sheet when one is given.
void WriteEntitySection(ByteWriter& out, const TJwwData& doc, int32_t version, const SheetView* sheet);

void ReadImageSection(ByteReader& in, TJwwData& doc);
void WriteImageSection(ByteWriter& out, const TJwwData& doc, const SheetView* sheet);

void NormaliseBlocks(TJwwData& doc);

}  // namespace kelvane

// Fuzz entry functions, shared by the libFuzzer mains and the regression test of kept inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kelvane::fuzz {

// Loads a drawing from bytes and splits it as a run would: save and reload at the loaded
// version, frames, sheet names, up to 8 sheets extracted, saved and reloaded; temporary images
// deleted afterwards.
void LoadDrawing(const uint8_t* data, size_t size);

// Reads the bytes as a settings file, then checks that saving and reading again keeps the values.
void SettingsFile(const uint8_t* data, size_t size);

// Reads the bytes as Jw_cad's hand-over file beside the executable.
void HandOverFile(const uint8_t* data, size_t size);

// Builds a drawing of one paper frame holding texts made from the bytes, then reads its sheet
// names and checks them. Input: texts separated by '\n'; the first byte of each text chooses
// its form and placement (see targets.cpp).
void SheetNames(const uint8_t* data, size_t size);

// Loads a drawing from bytes and builds its display lists: the drawing on its paper in one of
// the styles, and the first sheet of its first frame. No list may be over budget without being
// marked, and every item must index within its list.
void RenderList(const uint8_t* data, size_t size);

// As RenderList, then replays the lists through the cairo backend: a small PNG at a low
// resolution and, chosen by the input, an SVG or a PDF, into the scratch folder.
void RenderCairo(const uint8_t* data, size_t size);
// The same lists as pages of one PDF through the portable writer: never a crash, and a document
// written is whole.
void RenderPdf(const uint8_t* data, size_t size);

// A broken invariant calls the handler; the default prints the message and aborts, which
// libFuzzer reports as a crash. The regression test installs one that fails the test instead.
using FailureHandler = void (*)(const std::string& message);
void SetFailureHandler(FailureHandler handler);

// A folder for the targets' files, private to the process, removed when it ends normally.
const std::filesystem::path& ScratchFolder();

}  // namespace kelvane::fuzz

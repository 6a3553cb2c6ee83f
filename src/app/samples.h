#pragma once

// The sample list: the full paths of the files shipped in "Samples" beside
// the executable, recorded once in the settings store ("Snapshot") in a
// lightly scrambled form so that it does not read as a list of paths.

#include <QString>
#include <string>
#include <string_view>

namespace delvora {

class Pump;

// Eight lower-case letters, the same for both directions.
inline constexpr const char* kSampleListKey = "vorlenta";
// The longest sample list (in stored characters) that can be recorded.
inline constexpr int kMaxSampleListLength = 32767;

// Each byte shifted by the next key letter, wrapping within 1..255 (a sum
// over 255 loses 255; a difference under 1 gains 255). The pump, when given,
// runs once per byte so the window stays responsive.
std::string EncodeSampleBytes(std::string_view bytes, std::string_view key, Pump* pump = nullptr);
std::string DecodeSampleBytes(std::string_view bytes, std::string_view key, Pump* pump = nullptr);

// The text's UTF-8 bytes, encoded one stored character per byte, so every
// path round-trips whatever characters it holds. Both throw
// AppError(kErrOverflow) past kMaxSampleListLength.
QString EncodeSampleList(const QString& text, const QString& key, Pump* pump = nullptr);
QString DecodeSampleList(const QString& text, const QString& key, Pump* pump = nullptr);

// The folder whose samples this user converts. Results go beside their
// inputs by default, so where the user may not write into the program's
// samples folder (a program installed for every user) the samples are
// theirs to convert in "Delvora Samples" in their documents folder;
// elsewhere the program's samples folder itself. Both in native form.
QString UsableSamplesFolder(const QString& samples_folder, const QString& documents_folder);
// Copies the samples into the user's folder, keeping any file already
// there (the user's own edits); a copy that fails leaves that file out.
void CopySamples(const QString& samples_folder, const QString& users_folder);

}  // namespace delvora

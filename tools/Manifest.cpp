#include "Manifest.h"

#include "ArchiveFormat.h"
#include "CodePage1252.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace {

std::string Trim(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> Split(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = s.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(s.substr(start, at - start));
    parts.push_back(s.substr(start));
    return parts;
}

std::string FoldCase(const std::string& path)
{
    std::string folded = path;
    for (char& c : folded)
        c = static_cast<char>(Cp1252ToUpper(static_cast<unsigned char>(c)));
    return folded;
}

bool ParseKind(const std::string& field, int32_t& kind)
{
    const std::string text = Trim(field);
    if (text.size() != 1 || text[0] < '0' || text[0] > '4')
        return false;
    kind = text[0] - '0';
    return true;
}

bool ParseStorage(const std::string& field, Storage& storage)
{
    const std::string text = Trim(field);
    if (text == "compress")
        storage = Storage::Compress;
    else if (text == "store")
        storage = Storage::Store;
    else if (text == "auto")
        storage = Storage::Auto;
    else
        return false;
    return true;
}

}  // namespace

const std::vector<std::string>& KnownPlaceholders()
{
    static const std::vector<std::string> names = {
        "<InstallPath>", "<SamplePath>",      "<ProgramFiles>", "<ProgramCommon>", "<CommonData>",    "<UserData>",
        "<CommonDocuments>", "<Documents>", "<CommonDesktop>", "<Desktop>",      "<WinDir>", "<System>",
    };
    return names;
}

bool CheckDestination(const std::string& destination, std::string& error)
{
    for (char c : destination) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            error = "control character in the destination";
            return false;
        }
        if (c == '/') {
            error = "forward slash in the destination (separate components with backslashes)";
            return false;
        }
    }
    if (destination.size() >= DIRECTORY_PATH_SIZE) {
        error = "destination of " + std::to_string(destination.size()) + " bytes (at most " +
                std::to_string(DIRECTORY_PATH_SIZE - 1) + ")";
        return false;
    }
    if (destination.empty() || destination[0] != '<') {
        error = "destination must start with a placeholder such as <InstallPath>";
        return false;
    }
    const size_t close = destination.find('>');
    if (close == std::string::npos) {
        error = "unterminated placeholder in the destination";
        return false;
    }
    const std::string placeholder = destination.substr(0, close + 1);
    const auto& known = KnownPlaceholders();
    if (std::find(known.begin(), known.end(), placeholder) == known.end()) {
        error = "unknown placeholder " + placeholder;
        return false;
    }
    const std::string rest = destination.substr(close + 1);
    if (rest.empty() || rest[0] != '\\') {
        error = "the placeholder must be followed by a backslash and a file name";
        return false;
    }
    for (const std::string& component : Split(rest.substr(1), '\\')) {
        if (component.empty()) {
            error = "empty component in the destination";
            return false;
        }
        if (component == "." || component == "..") {
            error = "'" + component + "' component in the destination";
            return false;
        }
        // Characters Windows does not allow in file names (also keeps placeholders out of later components).
        if (component.find_first_of("<>:\"|?*") != std::string::npos) {
            error = "character not allowed in a Windows file name in '" + component + "'";
            return false;
        }
        if (const char* problem = DestinationNameProblem(component)) {
            std::string shown;  // the message is UTF-8 like the manifest
            if (!Cp1252ToUtf8(component, shown))
                shown = component;
            error = "'" + shown + "' in the destination " + problem;
            return false;
        }
    }
    return true;
}

bool ParseManifestText(const std::string& text, const std::string& name, std::vector<ManifestEntry>& entries,
                       std::vector<std::string>& errors)
{
    const size_t errorsBefore = errors.size();
    std::string body = text;
    if (body.compare(0, 3, "\xEF\xBB\xBF") == 0)
        body.erase(0, 3);
    std::map<std::string, unsigned> seen;  // folded destination -> line
    const std::vector<std::string> lines = Split(body, '\n');
    for (size_t index = 0; index < lines.size(); ++index) {
        const unsigned lineNumber = static_cast<unsigned>(index + 1);
        std::string line = lines[index];
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        auto fail = [&](const std::string& message) {
            errors.push_back(name + ":" + std::to_string(lineNumber) + ": " + message);
        };
        const std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() != 4 && fields.size() != 5) {
            fail("expected 4 TAB-separated fields (KIND STORAGE DESTINATION SOURCE) and an optional 'sign', found " +
                 std::to_string(fields.size()));
            continue;
        }
        ManifestEntry entry;
        entry.line = lineNumber;
        entry.source = fields[3];
        if (fields.size() == 5) {
            if (Trim(fields[4]) != "sign") {
                fail("unknown fifth field '" + fields[4] + "' (only 'sign')");
                continue;
            }
            entry.sign = true;
        }
        if (!ParseKind(fields[0], entry.kind)) {
            fail("unknown kind '" + fields[0] + "' (0 to 4)");
            continue;
        }
        if (!ParseStorage(fields[1], entry.storage)) {
            fail("bad storage word '" + fields[1] + "' (compress, store or auto)");
            continue;
        }
        std::string error;
        if (!Utf8ToCp1252(fields[2], entry.destination, error) || !CheckDestination(entry.destination, error)) {
            fail(error);
            continue;
        }
        std::string sourceError;
        std::string unused;
        if (entry.source.empty()) {
            fail("empty source");
            continue;
        }
        if (!Utf8ToCp1252(entry.source, unused, sourceError) && sourceError.compare(0, 7, "invalid") == 0) {
            fail("source: " + sourceError);
            continue;
        }
        if (entry.source.find('\\') != std::string::npos) {
            fail("backslash in the source (use forward slashes)");
            continue;
        }
        const auto inserted = seen.emplace(FoldCase(entry.destination), lineNumber);
        if (!inserted.second) {
            fail("duplicate destination (same as line " + std::to_string(inserted.first->second) + ")");
            continue;
        }
        entries.push_back(entry);
    }
    return errors.size() == errorsBefore;
}

bool LoadManifest(const std::filesystem::path& manifest, std::vector<PayloadFile>& files,
                  std::vector<std::string>& errors, const std::filesystem::path& signedFolder)
{
    namespace fs = std::filesystem;
    const std::string name = manifest.u8string();
    std::error_code notFile;
    std::ifstream in;
    if (fs::is_regular_file(manifest, notFile))
        in.open(manifest, std::ios::binary);
    if (!in.is_open()) {
        errors.push_back(name + ": cannot read the manifest");
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        errors.push_back(name + ": cannot read the manifest");
        return false;
    }
    std::vector<ManifestEntry> entries;
    bool ok = ParseManifestText(text, name, entries, errors);
    const fs::path folder = manifest.parent_path();
    for (const ManifestEntry& entry : entries) {
        auto fail = [&](const std::string& message) {
            errors.push_back(name + ":" + std::to_string(entry.line) + ": " + message);
            ok = false;
        };
        // A signed copy lives at the same relative path below the signed folder: it must not lead out of it.
        const fs::path relative = fs::u8path(entry.source);
        if (entry.sign && (relative.is_absolute() || relative.has_root_name() ||
                           std::find(relative.begin(), relative.end(), "..") != relative.end())) {
            fail("a source marked 'sign' must lie inside the manifest's folder");
            continue;
        }
        const bool fromSigned = entry.sign && !signedFolder.empty();
        const fs::path source = (fromSigned ? signedFolder : folder) / fs::u8path(entry.source);
        std::error_code ec;
        if (!fs::is_regular_file(source, ec)) {
            fail(fromSigned ? "missing signed copy '" + source.u8string() + "'" : "missing source '" + entry.source + "'");
            continue;
        }
        const uintmax_t size = fs::file_size(source, ec);
        if (ec || size > 0xFFFFFFFFu) {
            fail(ec ? "cannot read source '" + entry.source + "'" : "source '" + entry.source + "' is 4 GiB or more");
            continue;
        }
        std::ifstream file(source, std::ios::binary);
        PayloadFile payload;
        payload.entry = entry;
        payload.data.resize(static_cast<size_t>(size));
        if (!file || !file.read(reinterpret_cast<char*>(payload.data.data()), static_cast<std::streamsize>(size)) ||
            file.peek() != std::char_traits<char>::eof()) {
            fail("cannot read source '" + entry.source + "'");
            continue;
        }
        files.push_back(std::move(payload));
    }
    return ok;
}

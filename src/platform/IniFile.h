// An INI file kept in memory, written whole through a temporary file, line
// by line (no copy of the whole text is made). Every write saves at once
// unless inside BeginUpdate/EndUpdate.
//
// The file is read as UTF-8, as UTF-16 when it starts with that byte-order
// mark (Notepad's "Unicode"), and otherwise in the system's ANSI code page;
// a save keeps a UTF-16 or BOM-marked file in its own encoding and writes
// the rest as UTF-8: a file in the ANSI code page becomes UTF-8 (without a
// mark) at its first save, so that a name in any script can be added to it.
// Lines that are not keys (comments, a second line of a key, anything else
// the user wrote) are kept where they stand and never read; a comment block
// just above a section header goes with that section, and a comment after
// a header on its line stays there. A file that exists but cannot be read
// (held by another program, not text, UTF-16 that is not whole) is never
// overwritten: LoadError() says why, and a save throws.
#pragma once
#include <string>
#include <vector>

class TAtomicFileWriter;

class TIniFile {
public:
    // Loads the file when it exists (a missing file is an empty one).
    explicit TIniFile(std::string path);
    // Why the existing file could not be read (empty when it was, or when
    // there is none).
    const std::string& LoadError() const { return loadError_; }
    // The lines that start with "[" but are no section header. Each ends the
    // section above it: the lines below it, up to the next header, are kept
    // and not read.
    const std::vector<std::string>& NoHeaderLines() const { return noHeaderLines_; }

    const std::string& FileName() const { return path_; }
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& ident, int def) const;
    bool ReadBool(const std::string& section, const std::string& ident, bool def) const;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    void WriteBool(const std::string& section, const std::string& ident, bool value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& ident) const;
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(const std::string& section) const;         // keys
    std::vector<std::string> ReadSectionValues(const std::string& section) const;   // key=value
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& ident);

    void BeginUpdate() { ++updating_; }
    void EndUpdate();          // saves when the outermost update ends with changes
    void UpdateFile();         // saves now; throws EFileError

private:
    // A key and its value, or (key empty) a line kept as the user wrote it.
    struct Entry {
        std::string key, value, text;
        bool ends = false;                // a "[" line that is no header: the section ends
    };
    struct Section {
        std::string name;
        std::string trailer;              // what followed the header's "]"
        std::vector<std::string> above;   // comment lines just above the header
        std::vector<Entry> entries;
        // The section's header again: it stays where it is, and the keys
        // below it are read after the first header's.
        bool repeat = false;
    };
    enum TEncoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };
    void Parse(const std::string& text);
    // A piece of the file in its encoding (mark: the byte-order mark, as is).
    void WriteEncoded(TAtomicFileWriter& file, const std::string& text, bool mark = false) const;
    Section* Find(const std::string& name);
    const Section* Find(const std::string& name) const;
    // A key of a section, under its first header or a repeat of it.
    Entry* FindKey(const std::string& section, const std::string& ident);
    const Entry* FindKey(const std::string& section, const std::string& ident) const;
    template <class F>
    void ForEachEntry(const std::string& section, F f) const;
    void Changed();

    std::string path_;
    std::string loadError_;
    TEncoding encoding_ = kUtf8;
    std::vector<std::string> head_;   // kept lines above the first section
    std::vector<Section> sections_;
    std::vector<std::string> noHeaderLines_;
    bool repeats_ = false;            // a section's header came again
    int updating_ = 0;
    bool dirty_ = false;
};

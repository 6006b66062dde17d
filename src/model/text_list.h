#pragma once
// An ordered list of text lines: how the model holds side files and how every
// file of the program is read and written.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex {

class TextList {
 public:
  TextList() = default;
  // A copy grows on its own from here: it takes a revision of its own.
  TextList(const TextList& other)
      : lines_(other.lines_),
        sha256_(other.sha256_),
        text_(other.text_),
        keepText_(other.keepText_),
        textStale_(other.textStale_) {}
  TextList& operator=(const TextList& other) {
    if (this != &other) {
      *this = TextList(other);
    }
    return *this;
  }
  TextList(TextList&&) noexcept = default;
  TextList& operator=(TextList&&) noexcept = default;
  ~TextList() = default;

  // Files larger than this are refused when loading: no input of the program
  // comes near it, and reading a huge file by mistake must not exhaust memory.
  static constexpr std::size_t kMaxFileBytes = 256u * 1024u * 1024u;

  void clear() {
    revision_ = newRevision();
    lineage_ = revision_;
    lines_.clear();
    sha256_.clear();
    text_.clear();
    textStale_ = false;
  }
  void add(std::string line);
  // Removes the lines [first, last). A change other than add: the list takes
  // a new revision.
  void erase(std::size_t first, std::size_t last);
  [[nodiscard]] std::size_t count() const { return lines_.size(); }
  [[nodiscard]] bool empty() const { return lines_.empty(); }
  [[nodiscard]] const std::string& operator[](std::size_t index) const { return lines_[index]; }
  // The line may change through the reference, so a kept text is rebuilt
  // on the next add.
  [[nodiscard]] std::string& operator[](std::size_t index) {
    textStale_ = textStale_ || keepText_;
    revision_ = newRevision();
    return lines_[index];
  }

  // From now on keeps the text that saveToFile writes up to date as lines
  // are added, so a list that only grows (a run record, rewritten whole at
  // every save) is saved without joining all its lines again. Costs a
  // second copy of the list's characters.
  void keepText();
  // The kept text as it stands, without a copy; none unless keepText is on
  // and the text is up to date.
  [[nodiscard]] std::optional<std::string_view> keptText() const {
    if (!textKept()) return std::nullopt;
    return std::string_view(text_);
  }
  // Changes whenever the list changes other than by add (cleared, loaded,
  // a line reached for change), to a number no other list had: while it
  // stays the same, the text of the list only grew at its end, so a file
  // holding an earlier text can be brought up to date by appending the rest.
  [[nodiscard]] std::uint64_t revision() const { return revision_; }
  // Changes when the list is started afresh (cleared, loaded, copied), not
  // when a line is added, reached for change or erased: while it stays the
  // same, the list holds (some of) the lines it held before and their later
  // additions.
  [[nodiscard]] std::uint64_t lineage() const { return lineage_; }
  [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }
  [[nodiscard]] auto begin() const { return lines_.begin(); }
  [[nodiscard]] auto end() const { return lines_.end(); }

  // Replaces the list by the lines of a text file. Line ends may be LF, CR LF
  // or CR; a final line end does not start another entry; a UTF-8 byte-order
  // mark at the start is dropped. Throws InputError naming the file when it
  // cannot be opened, is not a regular file (a folder, a device or a pipe,
  // which could block the reader), is larger than kMaxFileBytes, or is not
  // text (it holds a NUL byte or another control character besides tab, form
  // feed and the line ends). The list is unchanged when loading fails.
  void loadFromFile(const std::string& path);

  // Parses text held in memory by the same rules; name is used in messages.
  void loadFromText(std::string_view text, const std::string& name);

  // The SHA-256 digest (hexadecimal) of the bytes the last successful
  // loadFromFile or loadFromText parsed, exactly as read; empty for a list
  // built line by line or cleared since.
  [[nodiscard]] const std::string& sha256() const { return sha256_; }

  // Writes every line followed by CR LF. The file is replaced atomically: the
  // lines go to a temporary file beside it, which is then renamed over it, so
  // a crash or a full disk leaves either the old file or the new one whole.
  // Throws FileWriteError naming the file and the reason when it cannot be
  // written; the earlier file is then left as it was and the temporary file
  // is removed.
  void saveToFile(const std::string& path) const;

  // The lines joined with CR LF after each, as saveToFile writes them.
  [[nodiscard]] std::string text() const;

 private:
  static std::uint64_t newRevision();
  [[nodiscard]] std::string joined() const;
  [[nodiscard]] bool textKept() const { return keepText_ && !textStale_; }

  std::vector<std::string> lines_;
  std::string sha256_;
  // text() of lines_ while textKept().
  std::string text_;
  bool keepText_ = false;
  bool textStale_ = false;
  std::uint64_t revision_ = newRevision();
  std::uint64_t lineage_ = revision_;
};

// Whether a write waits until its data is on the disk (fsync). A process
// that is killed loses nothing either way (the system keeps what was
// written); only a power cut or a system crash can lose writes not yet
// synced.
enum class FileSync { Now, Later };

// Replaces the file at path by content, atomically, as TextList::saveToFile
// does (temporary file beside it, flushed to disk unless sync is Later,
// renamed over it); the same FileWriteError when it cannot.
void ReplaceFileContent(const std::string& path, std::string_view content, FileSync sync = FileSync::Now);

// Appends content to the file at path (created when missing) with one write
// call, so that a process killed meanwhile leaves the file with all of
// content or, at worst, a part of it at its end, never in front of earlier
// appends. Flushed to disk (the whole file) only when sync is Now. Throws
// FileWriteError naming the file and the system's reason.
void AppendFileContent(const std::string& path, std::string_view content, FileSync sync = FileSync::Later);

// Flushes the folder at path to disk, so that the files renamed into it
// since survive a power cut; errors are ignored (not every file system can).
void SyncFolder(const std::string& path);

// Removes the temporary files that saveToFile left beside the files `names`
// of `directory` when its process was killed while saving: those named after
// one of the files, ".tmp" and the id of a process that no longer runs.
// Temporary files of running processes are left alone; errors are ignored.
void RemoveStaleTemporaryFiles(const std::string& directory, const std::vector<std::string>& names);

// Makes sure files can be written into the folder at `path`: creates it
// (and its parents) when missing, then creates and removes a file in it.
// Throws FileWriteError naming the folder and the system's reason (a file
// where the folder should be, permission denied, a read-only file system),
// so that a run or a study learns before it starts that it could not save.
void MakeWritableFolder(const std::string& path);

// Removes blanks and other characters up to the space character (tabs, line
// ends) from both ends.
std::string trimmed(std::string_view text);

// The words of a text: the runs of characters between blanks and tabs.
std::vector<std::string> blankSeparatedTokens(std::string_view text);

}  // namespace torvex

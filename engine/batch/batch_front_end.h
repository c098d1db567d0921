#pragma once
// What a batch run needs of its front end (the dialog, the command line, a test recorder): the
// settings and an error box, and typed events that tell the front end where the run stands.
// Which controls a run locks, and how progress is shown, is the front end's own business.
//
// Thread-safety: every method is called on the batch thread. The dialog forwards each call to its
// user-interface thread; showErrorBox blocks the batch thread until the user has pressed OK.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/correction_settings.h"

namespace pagewash {

enum class FileOutcome {
    Written,  // the edited PDF is in place
    NotPdf,   // passed over without a message
    NoJpeg,   // passed over without a message
    Refused,  // not processed; FileReport::reason says why
};

// What became of the images of one file. found = bleached + every count of images left as they are.
struct ImageCounts {
    int found = 0;        // the image streams taken up (JFIF, and with BatchOptions::anyJpeg the others)
    int bleached = 0;     // corrected and re-encoded
    int keptInColor = 0;  // of the bleached: real colour kept (BatchOptions::keepColorPages)
    int bilevel = 0;      // of the bleached: stored as black and white (BatchOptions::bilevel)
    int mrc = 0;          // of the bleached: stored as a text mask over a background (BatchOptions::mrc)
    // Left as they are, by reason:
    int modeNone = 0;         // the settings leave them (a None mode)
    int otherComponents = 0;  // CMYK and the like
    int failed = 0;           // unreadable, or their decoding or encoding failed
    int larger = 0;           // their new JPEG was larger (BatchOptions::keepSmaller)
    int overBudget = 0;       // more than the whole memory budget
};

struct FileReport {
    int index = 0;  // 1-based, as in "i / N"
    std::string path;
    FileOutcome outcome = FileOutcome::Written;
    // Refused only: names the file, the byte offset where it applies, and what is wrong
    // ("book.pdf: /Length at byte 48213 runs past the end of the file").
    std::string reason = {};
    std::optional<std::uint64_t> inputBytes = {};  // once the file was read
    std::string outputPath = {};                   // Written only
    std::uint64_t outputBytes = 0;                 // Written only
    bool unchanged = false;   // Written only: every image was kept whole, the output is the input's bytes
    ImageCounts images = {};  // known once the workers have run
    // JPEG image streams without JFIF left as they are because BatchOptions::anyJpeg is off.
    int otherJpegsLeft = 0;
    std::vector<std::string> warnings = {};  // as given to reportWarning, in order
};

// "image 3: not enough memory for a 65000 x 65000 image": an image worker's message as a file's warning.
std::string imageWarning(int imageNumber, const std::string& message);

class BatchFrontEnd {
  public:
    virtual ~BatchFrontEnd() = default;

    // A snapshot of the nine settings as the front end holds them at this moment.
    virtual CorrectionSettings takeSettings() = 0;

    // A message box with an OK button, the error icon and the caption kErrorCaption; returns when OK
    // was pressed.
    virtual void showErrorBox(const std::string& text) = 0;

    // The run begins: nothing has been read yet. The dialog locks the controls that would change the
    // list or the tone settings.
    virtual void runStarted() {}
    // File `index` of `count` begins ("i / N").
    virtual void fileStarted(int index, int count, const std::string& path) {
        (void)index;
        (void)count;
        (void)path;
    }
    // `done` of the current file's `total` images are corrected.
    virtual void imageFinished(int done, int total) {
        (void)done;
        (void)total;
    }
    // A warning about the current file, which is written all the same (damaged cross-reference data, a
    // signature that the edit invalidates).
    virtual void reportWarning(const std::string& path, const std::string& warning) {
        (void)path;
        (void)warning;
    }
    // A line that the worker of image `imageNumber` (1-based) of the current file had to say: libjpeg's
    // messages, "can't open NAME" when its corrected image could not be created, the reason of a failure
    // (ImageOutcome::messages). The file's report has it among its warnings as imageWarning() words it.
    // The default reports that warning; the dialog prints the line as it stands on standard error.
    virtual void reportImageMessage(const std::string& path, int imageNumber, const std::string& message);
    // The temporary file of `outputPath` could not be created (`cause` says why); the run tries once
    // more when this returns. The default shows outputNotCreatedMessage in the error box.
    virtual void outputNotCreated(const std::string& outputPath, const std::string& cause);
    // The file has ended, however it ended; except a file whose failed open ends the run
    // (BatchOptions::endRunOnUnopenableInput), which the error box has already named.
    virtual void fileFinished(const FileReport& report) { (void)report; }
    // The run has ended, also when it ended early; the last call of a run.
    virtual void runEnded() {}

    // Pauses the batch thread (between worker starts, after the last file). Tests override it to count.
    virtual void sleepMilliseconds(int milliseconds);
};

}  // namespace pagewash

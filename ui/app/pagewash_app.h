#pragma once
// The application object: starts the program, shows the main dialog modally and ends the program
// when the dialog closes. There is no main loop besides the dialog's own.
//
// Exactly one exists, constructed by main on the main thread.

#include <QApplication>
#include <QTranslator>

namespace pagewash {

class CPagewashApp : public QApplication {
    Q_OBJECT

  public:
    // The toolkit consumes its own options (-platform ...); everything else on the command line is
    // ignored: files are added in the dialog only. Qt's own texts are Japanese from here on when
    // Qt's translations are installed, English otherwise.
    CPagewashApp(int& argc, char** argv);

    // Shows the dialog and returns once it has closed. The exit status of the process.
    int initInstance();

  private:
    // Qt's Japanese texts; installed while the application lives, empty when they are missing.
    QTranslator m_qtTranslator;
};

}  // namespace pagewash

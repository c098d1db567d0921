#include "ui/app/pagewash_app.h"

int main(int argc, char** argv) {
    pagewash::CPagewashApp app(argc, argv);
    return app.initInstance();
}

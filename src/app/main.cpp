#include "app/converter_app.h"

int main(int argc, char** argv) {
    rowsmith::CConverterApp app(argc, argv);
    return app.InitInstance();
}

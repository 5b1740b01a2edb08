#include "application.h"
#include "console/formmain.h"

#include <memory>

int main(int argc, char **argv) {
    TApplication app(argc, argv);
    // Destroyed after exec() has returned, so the close's objects go only once nothing that was
    // running inside the event loop is left on the stack.
    const auto form = std::make_unique<TForm_Main>();
    form->show();
    return TApplication::exec();
}

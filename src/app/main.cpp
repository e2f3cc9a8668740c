#include "app/Application.h"

int main(int argc, char **argv)
{
    app::Application application(argc, argv);
    return app::run();
}

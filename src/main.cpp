#include "app/startup/AppMain.h"

int main(int argc, char** argv)
{
    return kiruvo::AppMain::run(argc, argv);
}

#include "app/startup.h"

int main(int argc, char** argv) {
    return melvara::app::RunMelvara(argc, argv);
}

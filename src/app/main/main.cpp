#include "app/wendup.h"

int main(int argc, char** argv) {
    return WendupMain(argc, argv);
}

#include <cstdio>

int main() {
    std::fprintf(stderr, "vorqplayer: the player shell is not built yet\n");
    return 1;
}

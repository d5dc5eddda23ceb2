// The smallest program: the stand-in that the walk benchmark starts for each entry.
int main() {
    return 0;
}

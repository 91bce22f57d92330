// Links every object of the program's core without Qt Widgets: the build
// fails here if the check run or the session ever needs a window. Run, it
// does nothing.
int main() { return 0; }

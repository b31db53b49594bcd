#include "app/run.h"

int main(int argc, char** argv) { return app::Main(app::Tool::kFit, argc, argv); }

namespace tamblor { int libraryPlaceholder = 0; }

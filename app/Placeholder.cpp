namespace tamblor { int appPlaceholder = 0; }

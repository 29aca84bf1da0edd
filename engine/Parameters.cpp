// Reading and checking of the parameter boxes.

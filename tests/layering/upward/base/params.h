// A header of the lowest layer.

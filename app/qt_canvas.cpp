// The plotting unit's canvas on a QPainter and its backing image (being built).

namespace zelk {}

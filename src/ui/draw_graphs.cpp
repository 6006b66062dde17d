// placeholder, filled in by the graph rendering work

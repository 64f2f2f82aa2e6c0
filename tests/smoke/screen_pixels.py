"""The screen as grim writes it (a binary PPM), for the smoke tests that look at what is shown."""


class Screen:
    def __init__(self, path):
        data = open(path, "rb").read()
        # The header: "P6", width, height and the largest value, each ended by white space.
        fields, position = [], 0
        while len(fields) < 4:
            while data[position:position + 1].isspace():
                position += 1
            start = position
            while not data[position:position + 1].isspace():
                position += 1
            fields.append(data[start:position])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[position + 1:]

    def at(self, x, y):
        offset = 3 * (y * self.width + x)
        return tuple(self.pixels[offset:offset + 3])

    def bar_rows(self, bar):
        """How many rows from the top have the bar's colour at their right end."""
        rows = 0
        while rows < self.height and near(self.at(self.width - 1, rows), bar):
            rows += 1
        return rows


def near(a, b):
    return max(abs(p - q) for p, q in zip(a, b)) <= 8

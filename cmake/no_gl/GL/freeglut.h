#error "a headless source includes <GL/freeglut.h>: only render/, platform/ and app/gl/ may use GL"

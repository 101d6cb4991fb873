#error "a headless source includes <GL/glut.h>: only render/, platform/ and app/gl/ may use GL"
